// Value checks of schema types: small per-type schemas, compiled once and shared, validating one-element
// documents.
#include "platform/xml/value_check.h"

#include "platform/base/text.h"
#include "platform/xml/runtime.h"
#include "platform/xml/value_compiled.h"

#include <libxml/xmlschemas.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <set>
#include <sstream>

namespace vr::xml::detail {

// A compiled small schema, or why it could not be compiled. Never changed once made.
class ValueChecker {
public:
    ValueChecker(xmlSchemaPtr schema, std::string elementNamespace, SCHEMAWHITESPACE whitespace)
        : schema_(schema), elementNamespace_(std::move(elementNamespace)), whitespace_(whitespace) {}
    ValueChecker(HRESULT failure, std::u16string description)
        : failure_(failure), description_(std::move(description)) {}
    static std::shared_ptr<const ValueChecker> AlwaysValid() {
        auto checker = std::make_shared<ValueChecker>(nullptr, std::string(), SCHEMAWHITESPACE_NONE);
        checker->alwaysValid_ = true;
        return checker;
    }
    ~ValueChecker() {
        if (schema_ != nullptr) {
            xmlSchemaFree(schema_);
        }
    }
    ValueChecker(const ValueChecker&) = delete;
    ValueChecker& operator=(const ValueChecker&) = delete;

    [[nodiscard]] HRESULT Check(std::u16string_view text) const;
    // Whether Check validates against a compiled small schema (not a failure, not the any-types).
    bool ValidatesBySchema() const { return schema_ != nullptr; }

private:
    xmlSchemaPtr schema_ = nullptr;
    std::string elementNamespace_;
    SCHEMAWHITESPACE whitespace_ = SCHEMAWHITESPACE_NONE;
    bool alwaysValid_ = false;
    HRESULT failure_ = S_OK;
    std::u16string description_;
};

namespace {

constexpr std::string_view kXsd = "http://www.w3.org/2001/XMLSchema";
constexpr char kValueElement[] = "vrValue";
constexpr size_t kMaxSharedCheckers = 1024;

struct SharedCheckers {
    std::mutex lock;
    std::map<std::string, std::shared_ptr<const ValueChecker>> byText;
};

SharedCheckers& Shared() {
    static auto* shared = new SharedCheckers(); // never destroyed: checks may run during static teardown
    return *shared;
}

// The namespace declarations in scope at a node, as attribute text for the small schema's root.
std::string DeclarationsInScope(xmlNodePtr node) {
    std::string out;
    xmlNsPtr* list = xmlGetNsList(node->doc, node);
    for (xmlNsPtr* ns = list; ns != nullptr && *ns != nullptr; ++ns) {
        std::string prefix(ViewXml((*ns)->prefix));
        if (prefix == "vrxs" || prefix == "xml") {
            continue;
        }
        out += prefix.empty() ? " xmlns=\"" : " xmlns:" + prefix + "=\"";
        out += EscapeAttributeText(ViewXml((*ns)->href)) + "\"";
    }
    xmlFree(list);
    return out;
}

std::string Dump(xmlNodePtr node) {
    xmlBufferPtr buffer = xmlBufferCreate();
    xmlNodeDump(buffer, node->doc, node, 0, 0);
    std::string text(ViewXml(xmlBufferContent(buffer)));
    xmlBufferFree(buffer);
    return text;
}

// The definition without its name attribute, so that it can stand as an anonymous type.
std::string DumpAnonymous(xmlNodePtr definition) {
    xmlNodePtr copy = xmlDocCopyNode(definition, definition->doc, 1);
    if (copy == nullptr) {
        return {};
    }
    xmlUnsetProp(copy, reinterpret_cast<const xmlChar*>("name"));
    std::string text = Dump(copy);
    xmlFreeNode(copy);
    return text;
}

// The named simple types of the schema that a definition refers to, directly or through each other.
void CollectReferencedTypes(const SchemaItemData& type, std::set<const SchemaItemData*>* found) {
    for (const SchemaItemData* base : type.baseTypes) {
        if (base == nullptr || base->IsBuiltIn() || base->source == nullptr) {
            continue;
        }
        // Anonymous types travel inside their definition; only named ones are written as globals.
        if (base->name.empty() || found->insert(base).second) {
            CollectReferencedTypes(*base, found);
        }
    }
}

// For a complex type: every global component of the schema (imports and includes are left out).
std::string AllComponents(xmlNodePtr schemaRoot) {
    std::string out;
    for (xmlNodePtr child = schemaRoot->children; child != nullptr; child = child->next) {
        std::string_view kind = ViewXml(child->name);
        if (child->type == XML_ELEMENT_NODE && kind != "import" && kind != "include" && kind != "redefine") {
            out += Dump(child);
        }
    }
    return out;
}

std::shared_ptr<const ValueChecker> Compile(const std::string& text, const std::string& elementNamespace,
                                            SCHEMAWHITESPACE whitespace) {
    ErrorCapture capture;
    xmlSchemaParserCtxtPtr parser = xmlSchemaNewMemParserCtxt(text.data(), static_cast<int>(text.size()));
    xmlSchemaPtr schema = parser != nullptr ? xmlSchemaParse(parser) : nullptr;
    if (parser != nullptr) {
        xmlSchemaFreeParserCtxt(parser);
    }
    if (schema == nullptr) {
        const CapturedError* error = capture.FirstError();
        std::u16string description =
            error ? DescribeSchemaError(*error) : u"The type cannot be compiled.\r\n";
        return std::make_shared<ValueChecker>(error ? HResultFromXmlError(error->code) : E_FAIL, description);
    }
    return std::make_shared<ValueChecker>(schema, elementNamespace, whitespace);
}

std::shared_ptr<const ValueChecker>
SharedChecker(const std::string& text, const std::string& elementNamespace, SCHEMAWHITESPACE whitespace) {
    SharedCheckers& shared = Shared();
    {
        std::lock_guard guard(shared.lock);
        if (auto found = shared.byText.find(text); found != shared.byText.end()) {
            return found->second;
        }
    }
    std::shared_ptr<const ValueChecker> checker =
        Compile(text, elementNamespace, whitespace); // outside the lock
    std::lock_guard guard(shared.lock);
    if (shared.byText.size() >= kMaxSharedCheckers) {
        shared.byText.clear(); // types hold their own checker; only the sharing of new ones restarts
    }
    return shared.byText.emplace(text, checker).first->second;
}

// libxml2 does not normalise the white space of some datatypes (" 12" is refused as an int), so values are
// normalised here first, as XSD defines it; patterns then see the normalised text, as XSD wants too.
std::u16string NormalizeWhitespace(std::u16string_view text, SCHEMAWHITESPACE whitespace) {
    if (whitespace != SCHEMAWHITESPACE_REPLACE && whitespace != SCHEMAWHITESPACE_COLLAPSE) {
        return std::u16string(text);
    }
    std::u16string out;
    for (char16_t c : text) {
        bool space = c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
        if (whitespace == SCHEMAWHITESPACE_REPLACE) {
            out += space ? u' ' : c;
        } else if (!space) {
            out += c;
        } else if (!out.empty() && out.back() != u' ') {
            out += u' ';
        }
    }
    if (whitespace == SCHEMAWHITESPACE_COLLAPSE && !out.empty() && out.back() == u' ') {
        out.pop_back();
    }
    return out;
}

// The built-in datatype an atomic type is derived from by restriction; null for lists, unions and complex
// types.
const SchemaItemData* BuiltInRoot(const SchemaItemData& type) {
    const SchemaItemData* current = &type;
    // Derivation chains are short; the bound only guards against a malformed cycle.
    for (int depth = 0; current != nullptr && depth < 64; ++depth) {
        if (current->variety == SCHEMATYPEVARIETY_LIST || current->variety == SCHEMATYPEVARIETY_UNION) {
            return nullptr;
        }
        if (current->IsBuiltIn()) {
            return current;
        }
        current = current->baseTypes.empty() ? nullptr : current->baseTypes[0];
    }
    return nullptr;
}

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// Whether values of the type need the lexical guard: atomic types derived from xsd:double or xsd:float.
bool NeedsLexicalGuard(const SchemaItemData& type) {
    const SchemaItemData* root = BuiltInRoot(type);
    return root != nullptr &&
           (root->itemType == SOMITEM_DATATYPE_DOUBLE || root->itemType == SOMITEM_DATATYPE_FLOAT);
}

// False when the text is certainly no value of the type although libxml2 might take it.
bool PassesLexicalGuard(const SchemaItemData& type, std::u16string_view text) {
    if (!type.floatingGuard) {
        return true;
    }
    bool blanks = std::any_of(text.begin(), text.end(),
                              [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; });
    return IsFloatingLexical(blanks ? NormalizeWhitespace(text, SCHEMAWHITESPACE_COLLAPSE) : text);
}

std::shared_ptr<const ValueChecker> MakeChecker(const SchemaItemData& type) {
    if (type.itemType == SOMITEM_ANYTYPE || type.itemType == SOMITEM_DATATYPE_ANYSIMPLETYPE) {
        return ValueChecker::AlwaysValid();
    }
    if (!type.IsBuiltIn() && type.source == nullptr) {
        return std::make_shared<ValueChecker>(E_FAIL,
                                              u"The type has no definition to check values against.\r\n");
    }
    std::string elementNamespace;
    std::string text = ValueSchemaText(type, &elementNamespace);
    return SharedChecker(text, elementNamespace, EffectiveWhitespace(type));
}

} // namespace

bool IsFloatingLexical(std::u16string_view text) {
    if (text == u"INF" || text == u"-INF" || text == u"+INF" || text == u"NaN") {
        return true;
    }
    size_t i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        ++i;
    }
    size_t digits = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        ++digits;
    }
    if (i < text.size() && text[i] == u'.') {
        for (++i; i < text.size() && IsDigit(text[i]); ++i) {
            ++digits;
        }
    }
    if (digits == 0) {
        return false;
    }
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
            ++i;
        }
        size_t exponentDigits = 0;
        for (; i < text.size() && IsDigit(text[i]); ++i) {
            ++exponentDigits;
        }
        if (exponentDigits == 0) {
            return false;
        }
    }
    return i == text.size();
}

// The white-space handling XSD prescribes for values of the type: a whiteSpace facet of the type or of a
// user-defined base, else that of the built-in datatype it derives from. Unions leave it to their members.
SCHEMAWHITESPACE EffectiveWhitespace(const SchemaItemData& type) {
    if (type.facets.whitespace != SCHEMAWHITESPACE_NONE) {
        return type.facets.whitespace;
    }
    if (type.variety == SCHEMATYPEVARIETY_UNION) {
        return SCHEMAWHITESPACE_NONE;
    }
    if (type.variety == SCHEMATYPEVARIETY_LIST) {
        return SCHEMAWHITESPACE_COLLAPSE;
    }
    if (type.IsBuiltIn()) {
        switch (type.itemType) {
        case SOMITEM_DATATYPE_STRING:
        case SOMITEM_DATATYPE_ANYSIMPLETYPE:
        case SOMITEM_ANYTYPE:
            return SCHEMAWHITESPACE_PRESERVE;
        case SOMITEM_DATATYPE_NORMALIZEDSTRING:
            return SCHEMAWHITESPACE_REPLACE;
        default:
            return SCHEMAWHITESPACE_COLLAPSE;
        }
    }
    return type.baseTypes.empty() || type.baseTypes[0] == nullptr ? SCHEMAWHITESPACE_NONE
                                                                  : EffectiveWhitespace(*type.baseTypes[0]);
}

HRESULT ValueChecker::Check(std::u16string_view text) const {
    if (alwaysValid_) {
        return S_OK;
    }
    if (schema_ == nullptr) {
        return Fail(failure_, description_);
    }
    ErrorCapture capture;
    xmlDocPtr doc = xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
    xmlNodePtr root =
        doc ? xmlNewDocNode(doc, nullptr, reinterpret_cast<const xmlChar*>(kValueElement), nullptr) : nullptr;
    xmlSchemaValidCtxtPtr context = xmlSchemaNewValidCtxt(schema_);
    if (root == nullptr || context == nullptr) {
        xmlSchemaFreeValidCtxt(context);
        xmlFreeDoc(doc);
        return E_OUTOFMEMORY;
    }
    xmlDocSetRootElement(doc, root);
    if (!elementNamespace_.empty()) {
        xmlSetNs(root, xmlNewNs(root, AsXml(elementNamespace_), nullptr));
    }
    std::string utf8 = ToUtf8(NormalizeWhitespace(text, whitespace_));
    xmlNodeAddContentLen(root, AsXml(utf8), static_cast<int>(utf8.size()));
    int result = xmlSchemaValidateDoc(context, doc);
    xmlSchemaFreeValidCtxt(context);
    xmlFreeDoc(doc);
    if (result < 0) {
        return Fail(E_FAIL, u"The value could not be checked.\r\n");
    }
    return result == 0 ? S_OK : S_FALSE;
}

std::string ValueSchemaText(const SchemaItemData& type, std::string* elementNamespace) {
    std::string head = "<vrxs:schema xmlns:vrxs=\"" + std::string(kXsd) + "\"";
    if (type.IsBuiltIn()) {
        elementNamespace->clear();
        return head + "><vrxs:element name=\"" + kValueElement + "\" type=\"vrxs:" + ToUtf8(type.name) +
               "\"/></vrxs:schema>";
    }
    xmlNodePtr schemaRoot = xmlDocGetRootElement(type.source->doc);
    *elementNamespace = ToUtf8(type.schema->targetNamespace);
    head += DeclarationsInScope(type.source);
    if (!elementNamespace->empty()) {
        head += " targetNamespace=\"" + EscapeAttributeText(*elementNamespace) + "\"";
    }
    std::string body;
    if (type.itemType == SOMITEM_COMPLEXTYPE) {
        body = AllComponents(schemaRoot);
    } else {
        std::set<const SchemaItemData*> referenced;
        CollectReferencedTypes(type, &referenced);
        for (const SchemaItemData* named : referenced) {
            body += Dump(named->source);
        }
    }
    return head + ">" + body + "<vrxs:element name=\"" + kValueElement + "\">" + DumpAnonymous(type.source) +
           "</vrxs:element></vrxs:schema>";
}

namespace {

// The schema check of the type, and its compiled check where the schema check can be made at all: a type
// whose small schema does not compile keeps answering with that failure.
void PrepareChecks(const SchemaItemData& type) {
    std::call_once(type.checkerOnce, [&] {
        type.checker = MakeChecker(type);
        type.floatingGuard = NeedsLexicalGuard(type);
        if (type.checker->ValidatesBySchema()) {
            type.compiled = CompiledValueCheck::Compile(type);
        }
    });
}

HRESULT WithLexicalGuard(const SchemaItemData& type, std::u16string_view text, HRESULT hr) {
    if (hr == S_OK && !PassesLexicalGuard(type, text)) {
        return S_FALSE;
    }
    return hr;
}

} // namespace

HRESULT CheckValueBySchema(const SchemaItemData& type, std::u16string_view text) {
    PrepareChecks(type);
    return WithLexicalGuard(type, text, type.checker->Check(text));
}

HRESULT CheckValue(const SchemaItemData& type, std::u16string_view text) {
    PrepareChecks(type);
    if (type.compiled != nullptr) {
        // A compiled floating check may apply the guard itself, in the same pass over the text.
        const bool guarded = type.floatingGuard && type.compiled->AppliesFloatingGuard();
        switch (guarded ? type.compiled->CheckWithFloatingGuard(text) : type.compiled->Check(text)) {
        case CompiledVerdict::kValid:
            return guarded ? S_OK : WithLexicalGuard(type, text, S_OK);
        case CompiledVerdict::kInvalid:
            return S_FALSE;
        case CompiledVerdict::kNotCovered:
            break;
        }
    }
    return WithLexicalGuard(type, text, type.checker->Check(text));
}

} // namespace vr::xml::detail
