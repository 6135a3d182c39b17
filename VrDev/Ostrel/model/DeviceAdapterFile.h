// One device adapter file (.daf) as the studio edits it: device settings, configuration attributes, message
// types, operations and the open and close sequences, read and written on the XML file class's document.
//
// Usage: construct with the file's path; CreateFromBlank starts a new file from the blank template (the
// configuration item AdapterBlankFile), Load reads an existing one. Edits change the document in memory;
// Save writes the file. What is written is what the instrument socket reads: an operation without an input
// message has no `input` element, one without an output message no `output` element.
//
// Names (operations, messages, attributes) are compared exactly; in XPath expressions they are quoted so
// that any text, apostrophes included, selects what it names.
//
// Failures: HRESULTs as the XML file class gives them (reported through the trace); a query on a file that
// does not load returns the loader's failure and leaves its list unchanged.
//
// Threads: one object is used by one thread at a time.
#pragma once

#include "VrDev/Ostrel/model/AdapterActions.h"
#include "common/xmlfile/XmlFile.h"

#include <optional>
#include <string>
#include <vector>

class CDeviceAdapterFile : public CXmlFile {
public:
    // What GetNames lists.
    enum NameMode { kOperationNames = 0, kMessageNames = 1, kAttributeNames = 2 };
    // The device's open and close sequences.
    enum class Sequence { Open, Close };

    // One operation as the Operations page edits it; an empty message name means none.
    struct Operation {
        std::u16string name;
        std::u16string parameterOrder;
        std::u16string result;
        std::u16string inputMessage;
        std::u16string outputMessage;
        std::optional<std::u16string> timeout; // none: the device's default
    };

    explicit CDeviceAdapterFile(const OLECHAR* fileName = nullptr);
    ~CDeviceAdapterFile() override;

    [[nodiscard]] HRESULT Save() override;
    // Any success of the loader is S_OK.
    [[nodiscard]] HRESULT Load() override;
    // Replaces the document with a copy of the blank template; the next Save writes it under the file name.
    [[nodiscard]] HRESULT CreateFromBlank();

    // ---- Names, in document order, appended to names ----
    // className null: all; "Attribute": that class, then the elements without a class; else that class.
    [[nodiscard]] HRESULT GetAttributeNames(std::vector<std::u16string>& names, const OLECHAR* className);
    [[nodiscard]] HRESULT GetOperationNames(std::vector<std::u16string>& names);
    // kind null: all; "InputMessage": names not ending in "Response"; "OutputMessage": those ending in it.
    [[nodiscard]] HRESULT GetInputMessageNames(std::vector<std::u16string>& names, const OLECHAR* kind);
    // By NameMode; another mode lists nothing.
    [[nodiscard]] HRESULT GetNames(std::vector<std::u16string>& names, int mode, const OLECHAR* className);

    // ---- Device settings: timeout, termstring, defaultSelector ----
    // S_FALSE and value unchanged when the setting is absent.
    [[nodiscard]] HRESULT GetDeviceSetting(const OLECHAR* name, std::u16string* value);
    // "<Undefined>" (or none) removes the setting.
    [[nodiscard]] HRESULT SetDeviceSetting(const OLECHAR* name, const OLECHAR* value);

    // ---- Configuration attributes ----
    // A new attribute: type int, class Attribute, cached. E_INVALIDARG when the name is taken or empty.
    [[nodiscard]] HRESULT AddAttribute(const std::u16string& name);
    // The attribute's element as the schema factory describes it ("type=int ... name=X"); S_FALSE when
    // there is no such attribute.
    [[nodiscard]] HRESULT GetAttributeDescription(const std::u16string& name, std::u16string* description);
    // Replaces the element by the schema factory's element for the description (its name stays); S_FALSE
    // when missing.
    [[nodiscard]] HRESULT SetAttributeDescription(const std::u16string& name,
                                                  const std::u16string& description);
    // The same, adding the element when there is none of that name.
    [[nodiscard]] HRESULT WriteAttribute(const std::u16string& name, const std::u16string& description);
    [[nodiscard]] HRESULT RemoveAttribute(const std::u16string& name);

    // ---- Message types ----
    // The complex type of that name (S_FALSE and an empty handle when none).
    [[nodiscard]] HRESULT GetMessageType(const std::u16string& name, vr::xml::Node* complexType);
    // Puts a copy of the complex type in place of the one of the same name, or adds it.
    [[nodiscard]] HRESULT SetMessageType(const vr::xml::Node& complexType);

    // ---- Operations ----
    // S_FALSE when there is no such operation.
    [[nodiscard]] HRESULT GetOperation(const std::u16string& name, Operation* operation);
    // Writes the operation, updating the one of the same name in place (what it does not set stays). The
    // messages must exist as types (E_INVALIDARG otherwise: the socket would refuse the file), the
    // operation must keep an input or an output, and a new one a name OperationNameRefusal allows.
    [[nodiscard]] HRESULT WriteOperation(const Operation& operation);
    // Removes the operation and every use of it by the actions (the socket refuses an action that names no
    // command): references, parameters scoped to it, an action left with nothing to run, the device's open
    // or close naming what went (ostrel::RemoveCommandUses). S_FALSE when there is no such operation.
    [[nodiscard]] HRESULT RemoveOperation(const std::u16string& name);
    // Gives the operation a new name, also wherever the actions and the device name it (references, the
    // scopes of parameters). S_FALSE when there is no such operation; E_INVALIDARG for a new name another
    // operation has or that OperationNameRefusal refuses (traced with the reason).
    [[nodiscard]] HRESULT RenameOperation(const std::u16string& name, const std::u16string& newName);
    // The actions (the open and close sequences among them) that need the operation, in document order.
    [[nodiscard]] HRESULT GetActionsNeeding(const std::u16string& name, std::vector<std::u16string>* actions);

    // Why an operation may not be given that name: it is empty, or the socket could not tell the operation
    // from an action of the file (operations and actions share one list of commands there), or it is the
    // name of the open or close sequence's action. An empty text when the name is free of those. Like every
    // query it reads the document anew: nodes taken from it before are no longer its own.
    std::u16string OperationNameRefusal(const std::u16string& name);

    // ---- Open and close sequences ----
    // A sequence is the action the device's open or close attribute names ("_Open", "_Close"), or one
    // operation that the attribute names itself.
    // The operations the sequence references, in order (inline operations left out).
    [[nodiscard]] HRESULT GetSequence(Sequence sequence, std::vector<std::u16string>* operations);
    // References and inline operations, in order; the one operation the device runs itself as a reference.
    [[nodiscard]] HRESULT GetSequenceEntries(Sequence sequence, std::vector<ostrel::ActionEntry>* entries);
    // The operation the device runs itself as the sequence; empty when it runs an action or nothing.
    [[nodiscard]] HRESULT GetDirectOperation(Sequence sequence, std::u16string* operation);
    // Makes the sequence these entries, changing only the nodes that differ (the action and the device's
    // attribute stay where they are); references that name no operation are left out, and a sequence
    // without any entry leaves neither the device's attribute nor the action in the file. A sequence of
    // one reference to the operation the device runs itself, or to directOperation (what it ran when the
    // sequence was shown), is that operation run by the device itself, without the action.
    [[nodiscard]] HRESULT SetSequenceEntries(Sequence sequence,
                                             const std::vector<ostrel::ActionEntry>& entries,
                                             std::u16string_view directOperation = {});
    // The references of the sequence made these operations; its inline operations stay where they are.
    [[nodiscard]] HRESULT SetSequence(Sequence sequence, const std::vector<std::u16string>& operations);

private:
    // Load and reparse, as every query does first.
    HRESULT Ready();
    HRESULT AppendSelected(const std::u16string& xpath, std::vector<std::u16string>& names,
                           bool (*keep)(std::u16string_view) = nullptr);
    HRESULT SelectOne(const std::u16string& xpath, vr::xml::Node* node);
    HRESULT NewElement(std::u16string_view qualifiedName, vr::xml::Node* element);
    HRESULT UpdatePart(vr::xml::Node& operation, std::u16string_view partName, const std::u16string& message,
                       const std::optional<std::u16string>* timeout, std::u16string_view keeps);
    HRESULT PutAttribute(const std::u16string& name, const std::u16string& description, bool create);
    HRESULT ChildElement(vr::xml::Node parent, std::u16string_view qualifiedName, vr::xml::Node* element);
    void TraceNames(const std::vector<std::u16string>& names, size_t from) const;
    // The sequence's action element; an empty handle when there is none.
    HRESULT SequenceAction(Sequence sequence, vr::xml::Node* root, vr::xml::Node* action);
    // The operation the device's attribute for the sequence names itself; empty when the attribute names
    // the sequence's action, no operation, or is absent. Raises the DOM's failures.
    static std::u16string DirectOperation(const vr::xml::Node& root, Sequence sequence);
};

// The text as an XPath string literal: in apostrophes, in quotes when it holds an apostrophe, or a concat()
// of both kinds when it holds both.
std::u16string XPathLiteral(std::u16string_view text);
