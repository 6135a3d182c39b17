// The XML file class: one XML file held as a DOM document, whose elements, attributes and texts are reached
// by XPath; a path that leads nowhere can be built on demand.
//
// Paths may use the prefixes xsd, ms, vra and vrt (the selection namespaces below). A path is cut at its last
// "/" into a parent path and a leaf step; missing elements along a path are created and appended, and the
// single-quoted attribute predicates of a created leaf ("child[@a = '1'][@b = '2']") become its attributes.
//
// Conventions of every method:
// - Returns an HRESULT; failures are reported through the trace module (site tag and error line, so
//   LastErrorText holds the report) and set no rich error information: the COM object that uses the class
//   does that. A failing DOM call is reported as a COM exception (DumpComError) and its HRESULT returned; a
//   file or text that does not parse is reported with DumpParseError and the parse error's code returned.
// - Text arguments are borrowed; a null pointer is the empty text. A value of "none" is a null pointer.
// - BSTR* out-arguments hold null or a BSTR: a method that writes one frees the earlier content first.
// - Node out-arguments receive handles that keep the document alive; a null pointer means "not wanted".
// - A context node (an empty handle for none) is where relative paths start; without one, the document.
// - The document stays as it was at the point of a failure; a file or text that failed to load is not kept,
//   so the next access reads the file again rather than working on an empty document.
//
// Threads: an object, with its document and nodes, is used by one thread at a time.
#pragma once

#include "platform/com/bstr.h"
#include "platform/com/hresult.h"
#include "platform/xml/dom.h"

#include <functional>
#include <string>
#include <string_view>

// The selection namespaces of every document the class creates:
// "xmlns:xsd='…' xmlns:ms='…' xmlns:vra='…' xmlns:vrt='…'".
std::u16string XmlFileSelectionNamespaces();

// The namespace a new node's name puts it in, chosen by the prefix before its first ":": vrt, xsd and vra
// have their URIs; any other prefix, or none, gives no namespace (empty).
std::u16string_view NamespaceUriOfPrefix(std::u16string_view qualifiedName);

// An XPath cut at its last "/". Without a "/" the parent path is empty and the leaf the whole text; "/root"
// gives an empty parent path and the leaf "root". Both parts are views into the path.
struct XPathParts {
    std::u16string_view parentPath;
    std::u16string_view leaf;
};
XPathParts SplitXPath(std::u16string_view path);

class CXmlFile {
public:
    explicit CXmlFile(const OLECHAR* fileName = nullptr);
    CXmlFile(const CXmlFile&) = delete;
    CXmlFile& operator=(const CXmlFile&) = delete;
    virtual ~CXmlFile();

    // Writes the document to the file, after reparsing it. Nothing loaded: S_OK and nothing written. No file
    // name: "File is not specifed." and E_INVALIDARG. A document whose text no longer parses is not written.
    [[nodiscard]] virtual HRESULT Save();
    // Loads the file into a new document, unless a document is loaded already (S_OK at once). No file name:
    // "File is not specifed." and E_INVALIDARG.
    [[nodiscard]] virtual HRESULT Load();

    // Keeps a loaded document when the name changes to another non-empty one (the next Save writes it
    // there); an empty name releases the document. The same non-empty name changes nothing.
    [[nodiscard]] HRESULT SetFileName(const OLECHAR* fileName);
    const std::u16string& FileName() const { return fileName_; }
    // The document; an empty handle while nothing is loaded.
    const vr::xml::Document& GetDocument() const { return document_; }

    // Releases the document; the next access loads the file again.
    [[nodiscard]] HRESULT ReleaseDocument();
    // Replaces the document with a new empty one; with text, loads the text into it.
    [[nodiscard]] HRESULT CreateDocument(const OLECHAR* xmlText = nullptr);
    // Loads the document's own XML text into it again (nothing loaded: S_OK).
    [[nodiscard]] HRESULT Reparse();

    // Loads when needed, splits the path and selects the parent and, under it, the leaf. A missing parent
    // gives S_OK with neither node. parentPath and leaf receive the two parts when asked for.
    [[nodiscard]] HRESULT SelectNodeAndParent(const OLECHAR* path, vr::xml::Node* parent, vr::xml::Node* node,
                                              const vr::xml::Node& context = {}, BSTR* parentPath = nullptr,
                                              BSTR* leaf = nullptr);
    // SelectNodeAndParent; with create, a missing parent is built first (as GetElement builds it).
    [[nodiscard]] HRESULT FindElement(const OLECHAR* path, vr::xml::Node* parent, vr::xml::Node* node,
                                      const vr::xml::Node& context, bool create, BSTR* parentPath = nullptr,
                                      BSTR* leaf = nullptr);

    // The element at the path. With create, what is missing is built; otherwise a missing element gives
    // S_OK and an empty handle. A created leaf whose predicates are not "[@name = 'value']" each fails with
    // E_INVALIDARG, the element and the attributes before the bad predicate staying in the document. With
    // create, a step whose predicate names the placeholder '<not_defined_name>' is a new element each time.
    [[nodiscard]] HRESULT GetElement(const OLECHAR* path, vr::xml::Node* element, bool create = false,
                                     const vr::xml::Node& context = {});
    // Puts a deep copy of newElement at the path (replacing the element there, or appended to the parent),
    // or, with an empty newElement, removes the element there. A missing parent (not created): E_INVALIDARG.
    // newElement may belong to any document and is left unchanged.
    [[nodiscard]] HRESULT SetElement(const OLECHAR* path, const vr::xml::Node& newElement,
                                     bool create = false, const vr::xml::Node& context = {});

    // The attributes of the element, in document order, as an option string "name=value …" (quoted where the
    // writer of option strings quotes); empty (null) for a missing element. An attribute whose value holds
    // all of ' " } and ] cannot be written into an option string and is left out.
    [[nodiscard]] HRESULT GetAttributes(const OLECHAR* path, BSTR* attributes,
                                        const vr::xml::Node& context = {});
    // Creates the element when missing; with clearFirst removes all its attributes; then each item of the
    // option string sets its attribute, or removes it when it has no value or the value "<Default>" or
    // "<Undefined>". Items with an empty name are skipped.
    [[nodiscard]] HRESULT SetAttributes(const OLECHAR* path, const OLECHAR* attributes,
                                        bool clearFirst = false, const vr::xml::Node& context = {});
    // One attribute's value, by its qualified name; a missing attribute or element leaves *value as it was
    // and still gives S_OK.
    [[nodiscard]] HRESULT GetAttribute(const OLECHAR* path, const OLECHAR* name, BSTR* value,
                                       const vr::xml::Node& context = {});
    // Sets one attribute, creating the element when missing; a value of none, "<Default>" or "<Undefined>"
    // removes it, as the one-item option string "name=value" would through SetAttributes. An empty name sets
    // nothing.
    [[nodiscard]] HRESULT SetAttribute(const OLECHAR* path, const OLECHAR* name, const OLECHAR* value,
                                       const vr::xml::Node& context = {});

    // The text of the element; a missing element leaves *text as it was.
    [[nodiscard]] HRESULT GetElementText(const OLECHAR* path, BSTR* text, const vr::xml::Node& context = {});
    // Creates the element when missing and replaces its content with the text.
    [[nodiscard]] HRESULT SetElementText(const OLECHAR* path, const OLECHAR* text,
                                         const vr::xml::Node& context = {});

    // Runs the class's fixed examples on a document of its own; S_OK when all hold, otherwise E_FAIL with the
    // failing example's line traced as an internal error.
    [[nodiscard]] static HRESULT TestClass();

protected:
    // Whether documents loaded from now on keep the layout of their text for Save (vr::xml::Document's
    // keepLayout; off by default).
    void SetKeepLayout(bool keep) { keepLayout_ = keep; }

private:
    // Runs work with TraceMethodName set (when a name is given), turning a COM exception into its report and
    // HRESULT, and running out of memory into E_OUTOFMEMORY.
    static HRESULT Guarded(const OLECHAR* methodName, const std::function<HRESULT()>& work);

    HRESULT LoadDocument();
    HRESULT SaveDocument();
    HRESULT ReparseDocument();
    // Parses a copy of the document's text: its failure reported as ReparseDocument reports it.
    HRESULT CheckReparses() const;
    HRESULT NewDocument(const OLECHAR* xmlText);
    // A failed load: the report, the document dropped, the code to return.
    HRESULT LoadFailed(const vr::xml::Document& failed, HRESULT hr);

    HRESULT SelectPath(std::u16string_view path, vr::xml::Node* parent, vr::xml::Node* node,
                       const vr::xml::Node& context);
    HRESULT FindPath(std::u16string_view path, vr::xml::Node* parent, vr::xml::Node* node,
                     const vr::xml::Node& context, bool create);
    HRESULT ElementAt(std::u16string_view path, vr::xml::Node* element, bool create,
                      const vr::xml::Node& context);
    HRESULT AppendNewElement(vr::xml::Node parent, std::u16string_view path, vr::xml::Node* element);
    // The element at path, built when missing.
    HRESULT EditableElement(std::u16string_view path, const vr::xml::Node& context, vr::xml::Node* element);
    // Sets the attribute, or removes it for a value of none, "<Default>" or "<Undefined>".
    void ApplyAttribute(const vr::xml::Node& element, std::u16string_view name, const OLECHAR* value);
    HRESULT ChangeAttributes(std::u16string_view path, const OLECHAR* attributes, bool clearFirst,
                             const vr::xml::Node& context);
    // A new detached node of the document, in the namespace of its name's prefix.
    vr::xml::Node NewNode(vr::xml::DOMNodeType type, std::u16string_view name);
    const vr::xml::Node& StartNode(const vr::xml::Node& context) const;

    vr::xml::Document document_; // empty while nothing is loaded
    std::u16string fileName_;    // empty: no file
    bool keepLayout_ = false;    // given to every document made
};
