// The Operations page of the adapter file sheet without widgets: the operation chosen, its rows, its input
// and output message definitions, trying it on the device connection, and saving it into the adapter file.
//
// Usage: the page makes one COperationsModel over its host (the sheet: document, connection, saving, boxes)
// and the two message editors (MessageEditorPort: a headless port over CMsgEditorModel, or the page's view),
// calls Init once, then forwards what the engineer does: ChooseOperation / ChooseInMessage / ChooseOutMessage
// for the name rows, SetTimeoutText / SetParameterOrder / SetResult for the fields, the button commands, and
// QuerySave before leaving the page. After every call the view shows the rows and Buttons() anew.
// Rows read "<Undefined>" for no name and the Timeout row "<Default>" for the device's default time-out.
//
// Failures: every failure reaches the engineer through the host's boxes with what failed (a write is not
// reported as a read, a failed save not as a saved one); an answer of the device always ends up in the
// output definition or in the warning that it does not parse, never dropped.
// Threads: the window thread only; Send waits for the device's answer on it (at most the read's time-out).
#pragma once

#include "VrDev/Ostrel/editors/ElementEditorModel.h"
#include "VrDev/Ostrel/editors/MsgEditorModel.h"
#include "VrDev/Ostrel/model/DeviceAdapterFile.h"
#include "instruments/Instrel/include/instrel.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

inline constexpr std::u16string_view kUndefinedName = u"<Undefined>";
inline constexpr std::u16string_view kDefaultTimeout = u"<Default>";

enum class SaveAnswer { Yes = 0, No = 1, Cancel = 2 };

// What the page needs of the sheet that hosts it and of the windows around it.
class OperationsHost {
public:
    virtual ~OperationsHost() = default;
    // The sheet's document; null while no file is chosen.
    virtual CDeviceAdapterFile* Document() = 0;
    // True when a file and a connection are chosen; otherwise the sheet has told the engineer which is
    // missing.
    virtual bool CanUseDevice() = 0;
    // The sheet's connection (not null after CanUseDevice returned true).
    virtual IVrConnection* Connection() = 0;
    // Writes the document to its file; a failure is reported by the sheet itself.
    [[nodiscard]] virtual HRESULT SaveFile() = 0;
    // Boxes captioned "Error" (stop icon) and "Warning" (exclamation icon).
    virtual void ShowError(std::u16string_view text) = 0;
    virtual void ShowWarning(std::u16string_view text) = 0;
    // "Warning" with Yes, No and Cancel.
    virtual SaveAnswer AskSave(std::u16string_view text) = 0;
    // "Warning" with Yes and No: true for Yes.
    virtual bool Confirm(std::u16string_view text) = 0;
    // The new-name dialog for a kind ("Operation", "Message"); none after Cancel.
    virtual std::optional<std::u16string> AskNewName(std::u16string_view kind,
                                                     std::u16string_view initial) = 0;
    // The warning-response dialog: a text and the answer it is about.
    virtual void ShowUnparsedResponse(std::u16string_view text, std::u16string_view response) = 0;
};

// One message editor as the page drives it. Texts of samples and names are Latin-1.
class MessageEditorPort {
public:
    virtual ~MessageEditorPort() = default;
    virtual CMsgEditorModel& Model() = 0;
    [[nodiscard]] virtual HRESULT Load(const vr::xml::Node& complexType) = 0;
    virtual void New(std::string_view sample, std::string_view messageName, std::string_view termString) = 0;
    virtual void Clear() = 0;
    [[nodiscard]] virtual HRESULT SetSample(std::string_view sample) = 0;
    virtual std::u16string Status() = 0;
    virtual void SetStatus(std::u16string_view text) = 0;
};

// The port over a bare editor model (tests, and any user without a view).
class ModelEditorPort : public MessageEditorPort {
public:
    explicit ModelEditorPort(MsgSide side) : model_(side) {}
    CMsgEditorModel& Model() override { return model_; }
    HRESULT Load(const vr::xml::Node& complexType) override { return model_.Load(complexType); }
    void New(std::string_view sample, std::string_view messageName, std::string_view termString) override;
    void Clear() override { model_.Clear(); }
    HRESULT SetSample(std::string_view sample) override { return model_.SetSampleText(sample); }
    std::u16string Status() override { return model_.StatusText(); }
    void SetStatus(std::u16string_view text) override { model_.SetStatusText(text); }

private:
    CMsgEditorModel model_; // the window thread
};

// Which side's rows the element editor shows.
enum class ElementSide { None = 0, Input = 1, Output = 2 };
// The rows the element editor shows for a token of that side: its own rows, with the default offering the
// file's attributes, then the side's annotations (query: vra:format, vra:units; response: vra:base,
// vra:units, vra:parsing), each for the types and kinds of token it means something for.
std::vector<ElementRowDef> OperationElementRows(MsgSide side,
                                                const std::vector<std::u16string>& attributeNames);
// The default row's choices: "Attribute:<name>" for every attribute name, in their order.
std::vector<std::u16string> AttributeChoices(const std::vector<std::u16string>& attributeNames);

// The two parameter fields a token can be dropped on.
enum class ParameterField { Parameters = 0, Result = 1 };

struct OperationButtons {
    bool remove = false;
    bool rename = false;
    bool save = false;
    bool newInput = false;
    bool newOutput = false;
    bool send = false;
};

class COperationsModel {
public:
    COperationsModel(OperationsHost& host, MessageEditorPort& input, MessageEditorPort& output);

    // Starts with no operation; the element editor shows the output side.
    void Init();

    // ---- The name lists, in document order (empty without a document) ----
    std::vector<std::u16string> OperationNames();
    std::vector<std::u16string> MessageNames(MsgSide side);
    std::vector<std::u16string> AttributeNames();

    // ---- Rows as the engineer changes them (false when the change was refused or failed, after a box) ----
    // Asks to save a modified operation first; Cancel keeps the current one.
    bool ChooseOperation(const std::u16string& name);
    bool ChooseInMessage(const std::u16string& name);
    bool ChooseOutMessage(const std::u16string& name);
    void SetTimeoutText(const std::u16string& text);
    void SetParameterOrder(const std::u16string& text);
    void SetResult(const std::u16string& text);

    // ---- Loading (the rows follow; idempotent for the name already loaded) ----
    [[nodiscard]] HRESULT LoadOperation(const std::u16string& name);
    [[nodiscard]] HRESULT LoadInMessage(const std::u16string& name);
    // forced: also for the name already loaded (a new answer to parse).
    [[nodiscard]] HRESULT LoadOutMessage(const std::u16string& name, bool forced = false);

    // ---- Saving ----
    // Either definition, the time-out or a parameter field changed since the last load or save.
    bool IsModified();
    void SetModified(bool modified);
    // True when the page may go on: not modified, saved after Yes, or No. False after Cancel or a failed
    // save.
    bool QuerySave();
    // Writes both definitions (those changed since they loaded) and the operation into the document and
    // saves the file; negative on failure. Refused, saying which, while a message of the operation did not
    // load: saving would lose it.
    [[nodiscard]] HRESULT SaveOperation();

    // ---- Commands (false when nothing changed) ----
    bool NewOperation();
    // Renames the operation, also wherever the file's actions name it.
    bool RenameOperation();
    // Removes the operation; when actions or the device's sequences still need it, only after the engineer
    // agreed to its removal from them (an action left with nothing to run goes too).
    bool RemoveOperation();
    bool NewInMessage();
    bool NewOutMessage();
    // Sends the input sample on the connection and takes the answer into the output definition.
    [[nodiscard]] HRESULT Send();
    // The current token of that side's editor appended to a field as "in:name=default" or "out:name"; false
    // for no token or a constant (its name begins with "_").
    bool AddParameter(MsgSide from, ParameterField field);

    // ---- The element editor ----
    // A token of that side was selected: true when the element editor must show that side's rows now.
    bool TokenSelected(MsgSide side);
    ElementSide Side() const { return side_; }
    // The output editor took an element change: the parsed values follow.
    void OutputElementChanged();

    // ---- What the view shows ----
    const std::u16string& Operation() const { return operation_; }
    const std::u16string& Timeout() const { return timeout_; }
    const std::u16string& InName() const { return inName_; }
    const std::u16string& OutName() const { return outName_; }
    const std::u16string& ParameterOrder() const { return parameterOrder_; }
    const std::u16string& Result() const { return result_; }
    const std::u16string& ParsedValues() const { return parsedValues_; }
    const std::u16string& Response() const { return response_; }
    OperationButtons Buttons() const { return buttons_; }

private:
    // The row setters: a changed name loads its definition (an error box when that fails).
    void SetInNameRow(const std::u16string& name);
    void SetOutNameRow(const std::u16string& name, bool forced);
    // How a message definition came into its editor: from the document under that name (loaded, or failed
    // with the reason), or otherwise (no name).
    struct MessageLoad {
        std::u16string name;
        bool loaded = false;
        std::u16string failure;
        static MessageLoad Of(HRESULT hr, const std::u16string& name);
    };
    // Why the operation cannot be saved because a message of it did not load; empty when both did.
    std::u16string LoadRefusal() const;
    // What removing the operation asks first, naming the actions and the device's sequences that need it;
    // empty when nothing does.
    std::u16string RemovalQuestion(CDeviceAdapterFile& document);
    // Writes the definition under its name unless it is unchanged since it loaded; written: the operation
    // names the message.
    HRESULT SaveMessage(MessageEditorPort& editor, const std::u16string& name, const MessageLoad& load,
                        bool* written);
    HRESULT WriteOperationElement(bool inputWritten, bool outputWritten);
    void ParseHeldResponse(const std::u16string& name);
    // The output definition's sample parsed anew: its values as the Parsed Values show them.
    void ShowParsedValues();
    // The box for a failed save, with the reason traced since errorBefore was the last error.
    void ReportSaveFailure(const std::u16string& errorBefore);
    std::u16string FileName();
    // The Timeout row as a read's time-out: -1 for the default, 0 for an empty text.
    int32_t ReadTimeout() const;
    // The Timeout row as stored: none for the default; false for a text that is no whole number.
    bool StoredTimeout(std::optional<std::u16string>* timeout) const;

    // All members: the window thread.
    OperationsHost& host_;
    MessageEditorPort& input_;
    MessageEditorPort& output_;
    std::u16string operation_ = std::u16string(kUndefinedName); // the loaded operation
    std::u16string timeout_ = std::u16string(kDefaultTimeout);
    std::u16string inName_ = std::u16string(kUndefinedName);
    std::u16string outName_ = std::u16string(kUndefinedName);
    std::u16string parameterOrder_;
    std::u16string result_;
    std::u16string currentInput_;  // the loaded input definition's name
    std::u16string currentOutput_; // the loaded output definition's name
    std::u16string lastOutput_;    // the last output definition that loaded
    MessageLoad inputLoad_;        // how the input definition came into its editor
    MessageLoad outputLoad_;       // how the output definition came into its editor
    std::u16string response_;      // the last answer read from the connection
    std::u16string parsedValues_;
    bool fieldsModified_ = false; // timeout, parameters or result changed by the engineer
    ElementSide side_ = ElementSide::Output;
    OperationButtons buttons_;
    bool loadedOperation_ = false; // LoadOperation has run once (the first load of <Undefined> is not idle)
};

} // namespace ostrel
