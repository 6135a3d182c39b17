// Reading an XSD document into schema items: global components, types, content models, facets, annotations.
#include "platform/base/text.h"
#include "platform/xml/namespaces.h"
#include "platform/xml/runtime.h"
#include "platform/xml/som_data.h"

#include <climits>
#include <map>
#include <sstream>

namespace vr::xml::detail {
namespace {

constexpr std::string_view kXsd = "http://www.w3.org/2001/XMLSchema";

bool IsXsd(xmlNodePtr node, std::string_view local = {}) {
    return node != nullptr && node->type == XML_ELEMENT_NODE && node->ns != nullptr &&
           ViewXml(node->ns->href) == kXsd && (local.empty() || ViewXml(node->name) == local);
}

// The XSD element children of a node, annotations left out.
std::vector<xmlNodePtr> XsdChildren(xmlNodePtr node) {
    std::vector<xmlNodePtr> children;
    for (xmlNodePtr child = node->children; child != nullptr; child = child->next) {
        if (IsXsd(child) && !IsXsd(child, "annotation")) {
            children.push_back(child);
        }
    }
    return children;
}

xmlNodePtr FirstXsdChild(xmlNodePtr node, std::initializer_list<std::string_view> names) {
    for (xmlNodePtr child : XsdChildren(node)) {
        for (std::string_view name : names) {
            if (ViewXml(child->name) == name) {
                return child;
            }
        }
    }
    return nullptr;
}

std::optional<std::string> Attribute(xmlNodePtr node, const char* name) {
    xmlChar* value = xmlGetNoNsProp(node, reinterpret_cast<const xmlChar*>(name));
    if (value == nullptr) {
        return std::nullopt;
    }
    std::string text(ViewXml(value));
    xmlFree(value);
    return text;
}

std::optional<std::u16string> Attribute16(xmlNodePtr node, const char* name) {
    std::optional<std::string> value = Attribute(node, name);
    return value ? std::optional<std::u16string>(FromUtf8(*value)) : std::nullopt;
}

bool BoolAttribute(xmlNodePtr node, const char* name) {
    std::optional<std::string> value = Attribute(node, name);
    return value && (*value == "true" || *value == "1");
}

int32_t NumberAttribute(xmlNodePtr node, const char* name, int32_t fallback) {
    std::optional<std::string> value = Attribute(node, name);
    if (!value) {
        return fallback;
    }
    if (*value == "unbounded") {
        return -1;
    }
    long long number = 0;
    for (char c : *value) {
        if (c < '0' || c > '9') {
            return fallback;
        }
        number = std::min<long long>(number * 10 + (c - '0'), INT32_MAX);
    }
    return static_cast<int32_t>(number);
}

SCHEMADERIVATIONMETHOD DerivationSet(xmlNodePtr node, const char* name) {
    std::optional<std::string> value = Attribute(node, name);
    if (!value) {
        return SCHEMADERIVATIONMETHOD_EMPTY;
    }
    if (*value == "#all") {
        return SCHEMADERIVATIONMETHOD_ALL;
    }
    int bits = 0;
    std::istringstream words(*value);
    for (std::string word; words >> word;) {
        bits |= word == "extension"      ? SCHEMADERIVATIONMETHOD_EXTENSION
                : word == "restriction"  ? SCHEMADERIVATIONMETHOD_RESTRICTION
                : word == "list"         ? SCHEMADERIVATIONMETHOD_LIST
                : word == "union"        ? SCHEMADERIVATIONMETHOD_UNION
                : word == "substitution" ? SCHEMADERIVATIONMETHOD_SUBSTITUTION
                                         : 0;
    }
    return static_cast<SCHEMADERIVATIONMETHOD>(bits);
}

std::vector<UnhandledAttribute> UnhandledOf(xmlNodePtr node) {
    std::vector<UnhandledAttribute> result;
    for (xmlAttrPtr a = node->properties; a != nullptr; a = a->next) {
        if (a->ns == nullptr || ViewXml(a->ns->href) == kXsd) {
            continue;
        }
        xmlChar* value = xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(a));
        std::u16string local = FromXml(a->name);
        std::u16string prefix = FromXml(a->ns->prefix);
        result.push_back(
            {FromXml(a->ns->href), local, prefix.empty() ? local : prefix + u":" + local, FromXml(value)});
        xmlFree(value);
    }
    return result;
}

class Builder {
public:
    explicit Builder(SchemaData& data) : data_(data) {}
    void Build();

private:
    struct QName {
        std::string ns;
        std::string local;
    };

    QName Resolve(xmlNodePtr context, const std::string& qname) const;
    const SchemaItemData* ResolveType(xmlNodePtr context, const std::string& qname);
    const SchemaItemData* GlobalType(const std::string& name);
    const SchemaItemData* GlobalElement(const std::string& name);
    const SchemaItemData* GlobalAttribute(const std::string& name);
    const SchemaItemData* GlobalAttributeGroup(const std::string& name);
    const SchemaItemData* NamedGroup(const std::string& name);

    SchemaItemData* SimpleType(xmlNodePtr node, const std::string& name);
    SchemaItemData* ComplexType(xmlNodePtr node, const std::string& name);
    void SimpleContent(xmlNodePtr content, SchemaItemData* type);
    const SchemaItemData* ComplexContent(xmlNodePtr content, SchemaItemData* type, bool* mixed);
    SchemaItemData* Element(xmlNodePtr node, bool global, const SchemaItemData* scope);
    SchemaItemData* ElementReference(xmlNodePtr node, const SchemaItemData* scope);
    const SchemaItemData* ElementType(xmlNodePtr node);
    SchemaItemData* ModelGroup(xmlNodePtr compositor, xmlNodePtr occurs, const SchemaItemData* scope);
    const SchemaItemData* Particle(xmlNodePtr node, const SchemaItemData* scope);
    SchemaItemData* Wildcard(xmlNodePtr node, SOMITEMTYPE type);
    SchemaItemData* AttributeDecl(xmlNodePtr node, bool global, const SchemaItemData* scope);
    void CollectAttributes(xmlNodePtr holder, SchemaItemData* owner, const SchemaItemData* scope);
    void ReadFacets(xmlNodePtr restriction, Facets* facets);
    const SchemaItemData* EmptyParticle();
    const SchemaItemData* CombinedModel(const SchemaItemData* base, const SchemaItemData* own);

    std::u16string GlobalNamespace() const { return data_.targetNamespace; }
    std::u16string LocalNamespace(xmlNodePtr node, bool elementForm) const;

    SchemaData& data_;
    xmlNodePtr schemaNode_ = nullptr;
    bool elementsQualified_ = false;
    bool attributesQualified_ = false;
    std::map<std::pair<std::string, std::string>, xmlNodePtr> globals_; // (kind, name) -> definition
    std::map<std::pair<std::string, std::string>, const SchemaItemData*> built_;
    int groupDepth_ = 0;
};

Builder::QName Builder::Resolve(xmlNodePtr context, const std::string& qname) const {
    size_t colon = qname.find(':');
    std::string prefix = colon == std::string::npos ? std::string() : qname.substr(0, colon);
    std::string local = colon == std::string::npos ? qname : qname.substr(colon + 1);
    xmlNsPtr ns = xmlSearchNs(context->doc, context, prefix.empty() ? nullptr : AsXml(prefix));
    return {ns != nullptr ? std::string(ViewXml(ns->href)) : std::string(), local};
}

const SchemaItemData* Builder::ResolveType(xmlNodePtr context, const std::string& qname) {
    QName name = Resolve(context, qname);
    if (name.ns == kXsd) {
        if (const SchemaItemData* builtIn = BuiltInTypeItem(FromUtf8(name.local))) {
            return builtIn;
        }
    } else if (FromUtf8(name.ns) == data_.targetNamespace) {
        if (const SchemaItemData* type = GlobalType(name.local)) {
            return type;
        }
    }
    return BuiltInTypeItem(u"anyType"); // imports are never fetched: their types stay unknown
}

const SchemaItemData* Builder::GlobalType(const std::string& name) {
    if (auto found = built_.find({"type", name}); found != built_.end()) {
        return found->second;
    }
    if (auto simple = globals_.find({"simpleType", name}); simple != globals_.end()) {
        return SimpleType(simple->second, name);
    }
    if (auto complex = globals_.find({"complexType", name}); complex != globals_.end()) {
        return ComplexType(complex->second, name);
    }
    return nullptr;
}

const SchemaItemData* Builder::GlobalElement(const std::string& name) {
    if (auto found = built_.find({"element", name}); found != built_.end()) {
        return found->second;
    }
    auto node = globals_.find({"element", name});
    return node == globals_.end() ? nullptr : Element(node->second, true, nullptr);
}

const SchemaItemData* Builder::GlobalAttribute(const std::string& name) {
    if (auto found = built_.find({"attribute", name}); found != built_.end()) {
        return found->second;
    }
    auto node = globals_.find({"attribute", name});
    return node == globals_.end() ? nullptr : AttributeDecl(node->second, true, nullptr);
}

const SchemaItemData* Builder::GlobalAttributeGroup(const std::string& name) {
    if (auto found = built_.find({"attributeGroup", name}); found != built_.end()) {
        return found->second;
    }
    auto node = globals_.find({"attributeGroup", name});
    if (node == globals_.end()) {
        return nullptr;
    }
    SchemaItemData* group = data_.NewItem(SOMITEM_ATTRIBUTEGROUP);
    group->name = FromUtf8(name);
    group->ns = GlobalNamespace();
    group->unhandled = UnhandledOf(node->second);
    built_[{"attributeGroup", name}] = group;
    CollectAttributes(node->second, group, nullptr);
    return group;
}

const SchemaItemData* Builder::NamedGroup(const std::string& name) {
    if (auto found = built_.find({"group", name}); found != built_.end()) {
        return found->second;
    }
    auto node = globals_.find({"group", name});
    xmlNodePtr compositor =
        node == globals_.end() ? nullptr : FirstXsdChild(node->second, {"sequence", "choice", "all"});
    if (compositor == nullptr) {
        return nullptr;
    }
    SchemaItemData* group = ModelGroup(compositor, compositor, nullptr);
    group->name = FromUtf8(name);
    group->ns = GlobalNamespace();
    built_[{"group", name}] = group;
    return group;
}

std::u16string Builder::LocalNamespace(xmlNodePtr node, bool elementForm) const {
    std::optional<std::string> form = Attribute(node, "form");
    bool qualified = form ? *form == "qualified" : elementForm ? elementsQualified_ : attributesQualified_;
    return qualified ? data_.targetNamespace : std::u16string();
}

void Builder::ReadFacets(xmlNodePtr restriction, Facets* facets) {
    for (xmlNodePtr facet : XsdChildren(restriction)) {
        std::string name(ViewXml(facet->name));
        std::optional<std::u16string> value = Attribute16(facet, "value");
        if (!value) {
            continue;
        }
        if (name == "enumeration") {
            facets->enumeration.push_back(*value);
        } else if (name == "pattern") {
            facets->patterns.push_back(*value);
        } else if (name == "minExclusive") {
            facets->minExclusive = value;
        } else if (name == "minInclusive") {
            facets->minInclusive = value;
        } else if (name == "maxExclusive") {
            facets->maxExclusive = value;
        } else if (name == "maxInclusive") {
            facets->maxInclusive = value;
        } else if (name == "whiteSpace") {
            facets->whitespace = *value == u"preserve"  ? SCHEMAWHITESPACE_PRESERVE
                                 : *value == u"replace" ? SCHEMAWHITESPACE_REPLACE
                                                        : SCHEMAWHITESPACE_COLLAPSE;
        } else {
            int32_t number = NumberAttribute(facet, "value", -1);
            (name == "totalDigits"      ? facets->totalDigits
             : name == "fractionDigits" ? facets->fractionDigits
             : name == "length"         ? facets->length
             : name == "minLength"      ? facets->minLength
                                        : facets->maxLength) = number;
        }
    }
}

// Facets a restriction does not state are those of its base.
void InheritFacets(Facets* own, const Facets& base) {
    auto inherit = [](auto& mine, const auto& theirs, const auto& unset) {
        if (mine == unset) {
            mine = theirs;
        }
    };
    inherit(own->minExclusive, base.minExclusive, std::optional<std::u16string>());
    inherit(own->minInclusive, base.minInclusive, std::optional<std::u16string>());
    inherit(own->maxExclusive, base.maxExclusive, std::optional<std::u16string>());
    inherit(own->maxInclusive, base.maxInclusive, std::optional<std::u16string>());
    inherit(own->totalDigits, base.totalDigits, -1);
    inherit(own->fractionDigits, base.fractionDigits, -1);
    inherit(own->length, base.length, -1);
    inherit(own->minLength, base.minLength, -1);
    inherit(own->maxLength, base.maxLength, -1);
    inherit(own->enumeration, base.enumeration, std::vector<std::u16string>());
    inherit(own->patterns, base.patterns, std::vector<std::u16string>());
    inherit(own->whitespace, base.whitespace, SCHEMAWHITESPACE_NONE);
}

SchemaItemData* Builder::SimpleType(xmlNodePtr node, const std::string& name) {
    SchemaItemData* type = data_.NewItem(SOMITEM_SIMPLETYPE);
    type->name = FromUtf8(name);
    type->ns = name.empty() ? std::u16string() : GlobalNamespace();
    type->source = node;
    type->unhandled = UnhandledOf(node);
    type->final = DerivationSet(node, "final");
    if (!name.empty()) {
        built_[{"type", name}] = type;
    }
    xmlNodePtr derivation = FirstXsdChild(node, {"restriction", "list", "union"});
    if (derivation == nullptr) {
        return type;
    }
    std::string kind(ViewXml(derivation->name));
    std::optional<std::string> reference = Attribute(derivation, kind == "list" ? "itemType" : "base");
    if (kind == "union") {
        std::istringstream members(Attribute(derivation, "memberTypes").value_or(""));
        for (std::string member; members >> member;) {
            type->baseTypes.push_back(ResolveType(derivation, member));
        }
        for (xmlNodePtr inner : XsdChildren(derivation)) {
            if (IsXsd(inner, "simpleType")) {
                type->baseTypes.push_back(SimpleType(inner, ""));
            }
        }
        type->derivedBy = SCHEMADERIVATIONMETHOD_UNION;
        type->variety = SCHEMATYPEVARIETY_UNION;
        return type;
    }
    xmlNodePtr inner = FirstXsdChild(derivation, {"simpleType"});
    const SchemaItemData* base = reference ? ResolveType(derivation, *reference)
                                 : inner   ? SimpleType(inner, "")
                                           : BuiltInTypeItem(u"anySimpleType");
    type->baseTypes.push_back(base);
    if (kind == "list") {
        type->derivedBy = SCHEMADERIVATIONMETHOD_LIST;
        type->variety = SCHEMATYPEVARIETY_LIST;
        return type;
    }
    type->derivedBy = SCHEMADERIVATIONMETHOD_RESTRICTION;
    type->variety = base->variety == SCHEMATYPEVARIETY_NONE ? SCHEMATYPEVARIETY_ATOMIC : base->variety;
    ReadFacets(derivation, &type->facets);
    if (!base->IsBuiltIn()) {
        InheritFacets(&type->facets, base->facets);
    }
    return type;
}

const SchemaItemData* Builder::EmptyParticle() {
    SchemaItemData* empty = data_.NewItem(SOMITEM_EMPTYPARTICLE);
    return empty;
}

bool IsEmptyModel(const SchemaItemData* model) {
    if (model == nullptr || model->itemType == SOMITEM_EMPTYPARTICLE) {
        return true;
    }
    if ((model->itemType & SOMITEM_GROUP) != SOMITEM_GROUP) {
        return false;
    }
    for (const SchemaItemData* particle : model->particles) {
        if (!IsEmptyModel(particle)) {
            return false;
        }
    }
    return true;
}

const SchemaItemData* Builder::CombinedModel(const SchemaItemData* base, const SchemaItemData* own) {
    if (IsEmptyModel(base)) {
        return own != nullptr ? own : EmptyParticle();
    }
    if (IsEmptyModel(own)) {
        return base;
    }
    SchemaItemData* sequence = data_.NewItem(SOMITEM_SEQUENCE);
    sequence->particles = {base, own};
    return sequence;
}

void Builder::SimpleContent(xmlNodePtr content, SchemaItemData* type) {
    type->contentType = SCHEMACONTENTTYPE_TEXTONLY;
    type->contentModel = EmptyParticle();
    xmlNodePtr derivation = FirstXsdChild(content, {"restriction", "extension"});
    if (derivation == nullptr) {
        return;
    }
    const SchemaItemData* base =
        ResolveType(derivation, Attribute(derivation, "base").value_or("anySimpleType"));
    type->baseTypes.push_back(base);
    bool extension = ViewXml(derivation->name) == "extension";
    type->derivedBy = extension ? SCHEMADERIVATIONMETHOD_EXTENSION : SCHEMADERIVATIONMETHOD_RESTRICTION;
    type->variety = base->variety;
    if (!extension) {
        ReadFacets(derivation, &type->facets);
    }
    if (!base->IsBuiltIn()) {
        InheritFacets(&type->facets, base->facets);
        type->attributes = base->attributes;
    }
    CollectAttributes(derivation, type, type);
}

const SchemaItemData* Builder::ComplexContent(xmlNodePtr content, SchemaItemData* type, bool* mixed) {
    *mixed = *mixed || BoolAttribute(content, "mixed");
    xmlNodePtr derivation = FirstXsdChild(content, {"restriction", "extension"});
    if (derivation == nullptr) {
        return nullptr;
    }
    const SchemaItemData* base = ResolveType(derivation, Attribute(derivation, "base").value_or("anyType"));
    type->baseTypes.push_back(base);
    bool extension = ViewXml(derivation->name) == "extension";
    type->derivedBy = extension ? SCHEMADERIVATIONMETHOD_EXTENSION : SCHEMADERIVATIONMETHOD_RESTRICTION;
    xmlNodePtr particle = FirstXsdChild(derivation, {"sequence", "choice", "all", "group"});
    const SchemaItemData* own = particle ? Particle(particle, type) : nullptr;
    if (extension && !base->IsBuiltIn()) {
        type->attributes = base->attributes;
    }
    CollectAttributes(derivation, type, type);
    return extension ? CombinedModel(base->contentModel, own) : own;
}

SchemaItemData* Builder::ComplexType(xmlNodePtr node, const std::string& name) {
    SchemaItemData* type = data_.NewItem(SOMITEM_COMPLEXTYPE);
    type->name = FromUtf8(name);
    type->ns = name.empty() ? std::u16string() : GlobalNamespace();
    type->source = node;
    type->unhandled = UnhandledOf(node);
    type->isAbstract = BoolAttribute(node, "abstract");
    type->final = DerivationSet(node, "final");
    if (!name.empty()) {
        built_[{"type", name}] = type;
    }
    bool mixed = BoolAttribute(node, "mixed");
    if (xmlNodePtr simple = FirstXsdChild(node, {"simpleContent"})) {
        SimpleContent(simple, type);
        return type;
    }
    const SchemaItemData* model = nullptr;
    if (xmlNodePtr complex = FirstXsdChild(node, {"complexContent"})) {
        model = ComplexContent(complex, type, &mixed);
    } else {
        xmlNodePtr particle = FirstXsdChild(node, {"sequence", "choice", "all", "group"});
        model = particle ? Particle(particle, type) : nullptr;
        CollectAttributes(node, type, type);
    }
    bool empty = IsEmptyModel(model);
    type->contentModel = model != nullptr ? model : EmptyParticle();
    type->contentType = mixed   ? SCHEMACONTENTTYPE_MIXED
                        : empty ? SCHEMACONTENTTYPE_EMPTY
                                : SCHEMACONTENTTYPE_ELEMENTONLY;
    return type;
}

const SchemaItemData* Builder::ElementType(xmlNodePtr node) {
    if (std::optional<std::string> type = Attribute(node, "type")) {
        return ResolveType(node, *type);
    }
    if (xmlNodePtr simple = FirstXsdChild(node, {"simpleType"})) {
        return SimpleType(simple, "");
    }
    if (xmlNodePtr complex = FirstXsdChild(node, {"complexType"})) {
        return ComplexType(complex, "");
    }
    if (std::optional<std::string> head = Attribute(node, "substitutionGroup")) {
        const SchemaItemData* headElement = GlobalElement(Resolve(node, *head).local);
        if (headElement != nullptr && headElement->type != nullptr) {
            return headElement->type;
        }
    }
    return BuiltInTypeItem(u"anyType");
}

SchemaItemData* Builder::Element(xmlNodePtr node, bool global, const SchemaItemData* scope) {
    if (!global && Attribute(node, "ref")) {
        return ElementReference(node, scope);
    }
    SchemaItemData* element = data_.NewItem(SOMITEM_ELEMENT);
    std::string name = Attribute(node, "name").value_or("");
    element->name = FromUtf8(name);
    element->ns = global ? GlobalNamespace() : LocalNamespace(node, true);
    element->scope = scope;
    element->source = node;
    element->unhandled = UnhandledOf(node);
    element->defaultValue = Attribute16(node, "default");
    element->fixedValue = Attribute16(node, "fixed");
    element->isNillable = BoolAttribute(node, "nillable");
    element->isAbstract = BoolAttribute(node, "abstract");
    if (!global) {
        element->minOccurs = NumberAttribute(node, "minOccurs", 1);
        element->maxOccurs = NumberAttribute(node, "maxOccurs", 1);
    } else {
        built_[{"element", name}] = element;
        if (std::optional<std::string> head = Attribute(node, "substitutionGroup")) {
            element->substitutionGroup = GlobalElement(Resolve(node, *head).local);
        }
    }
    element->type = ElementType(node);
    return element;
}

SchemaItemData* Builder::ElementReference(xmlNodePtr node, const SchemaItemData* scope) {
    const SchemaItemData* global = GlobalElement(Resolve(node, *Attribute(node, "ref")).local);
    SchemaItemData* reference = data_.NewItem(SOMITEM_ELEMENT);
    if (global != nullptr) {
        reference->name = global->name;
        reference->ns = global->ns;
        reference->type = global->type;
        reference->defaultValue = global->defaultValue;
        reference->fixedValue = global->fixedValue;
        reference->isNillable = global->isNillable;
        reference->isAbstract = global->isAbstract;
        reference->substitutionGroup = global->substitutionGroup;
        reference->source = global->source;
    } else {
        reference->type = BuiltInTypeItem(u"anyType");
    }
    reference->isReference = true;
    reference->scope = scope;
    reference->unhandled = UnhandledOf(node);
    if (global != nullptr) {
        reference->unhandled.insert(reference->unhandled.end(), global->unhandled.begin(),
                                    global->unhandled.end());
    }
    reference->minOccurs = NumberAttribute(node, "minOccurs", 1);
    reference->maxOccurs = NumberAttribute(node, "maxOccurs", 1);
    return reference;
}

SchemaItemData* Builder::ModelGroup(xmlNodePtr compositor, xmlNodePtr occurs, const SchemaItemData* scope) {
    std::string_view kind = ViewXml(compositor->name);
    SchemaItemData* group = data_.NewItem(kind == "choice" ? SOMITEM_CHOICE
                                          : kind == "all"  ? SOMITEM_ALL
                                                           : SOMITEM_SEQUENCE);
    group->minOccurs = NumberAttribute(occurs, "minOccurs", 1);
    group->maxOccurs = NumberAttribute(occurs, "maxOccurs", 1);
    group->unhandled = UnhandledOf(compositor);
    for (xmlNodePtr child : XsdChildren(compositor)) {
        if (const SchemaItemData* particle = Particle(child, scope)) {
            group->particles.push_back(particle);
        }
    }
    return group;
}

const SchemaItemData* Builder::Particle(xmlNodePtr node, const SchemaItemData* scope) {
    std::string_view kind = ViewXml(node->name);
    if (kind == "element") {
        return Element(node, false, scope);
    }
    if (kind == "sequence" || kind == "choice" || kind == "all") {
        return ModelGroup(node, node, scope);
    }
    if (kind == "any") {
        return Wildcard(node, SOMITEM_ANY);
    }
    if (kind != "group" || groupDepth_ > 64) {
        return nullptr;
    }
    // A group reference stands as a copy of the group's compositor with the reference's occurrences.
    auto definition = globals_.find({"group", Resolve(node, Attribute(node, "ref").value_or("")).local});
    xmlNodePtr compositor = definition == globals_.end()
                                ? nullptr
                                : FirstXsdChild(definition->second, {"sequence", "choice", "all"});
    if (compositor == nullptr) {
        return nullptr;
    }
    ++groupDepth_;
    SchemaItemData* group = ModelGroup(compositor, node, scope);
    --groupDepth_;
    return group;
}

SchemaItemData* Builder::Wildcard(xmlNodePtr node, SOMITEMTYPE type) {
    SchemaItemData* any = data_.NewItem(type);
    any->minOccurs = NumberAttribute(node, "minOccurs", 1);
    any->maxOccurs = NumberAttribute(node, "maxOccurs", 1);
    any->unhandled = UnhandledOf(node);
    std::istringstream tokens(Attribute(node, "namespace").value_or("##any"));
    for (std::string token; tokens >> token;) {
        any->namespaces.push_back(FromUtf8(token));
    }
    std::string process = Attribute(node, "processContents").value_or("strict");
    any->processContents = process == "skip"  ? SCHEMAPROCESSCONTENTS_SKIP
                           : process == "lax" ? SCHEMAPROCESSCONTENTS_LAX
                                              : SCHEMAPROCESSCONTENTS_STRICT;
    return any;
}

SchemaItemData* Builder::AttributeDecl(xmlNodePtr node, bool global, const SchemaItemData* scope) {
    SchemaItemData* attribute = data_.NewItem(SOMITEM_ATTRIBUTE);
    attribute->scope = scope;
    attribute->unhandled = UnhandledOf(node);
    std::string use = Attribute(node, "use").value_or("optional");
    attribute->use = use == "required"     ? SCHEMAUSE_REQUIRED
                     : use == "prohibited" ? SCHEMAUSE_PROHIBITED
                                           : SCHEMAUSE_OPTIONAL;
    if (std::optional<std::string> ref = Attribute(node, "ref"); ref && !global) {
        const SchemaItemData* target = GlobalAttribute(Resolve(node, *ref).local);
        attribute->isReference = true;
        if (target != nullptr) {
            attribute->name = target->name;
            attribute->ns = target->ns;
            attribute->type = target->type;
            attribute->defaultValue = target->defaultValue;
            attribute->fixedValue = target->fixedValue;
        }
        if (std::optional<std::u16string> own = Attribute16(node, "default")) {
            attribute->defaultValue = own;
        }
        return attribute;
    }
    std::string name = Attribute(node, "name").value_or("");
    attribute->name = FromUtf8(name);
    attribute->ns = global ? GlobalNamespace() : LocalNamespace(node, false);
    attribute->defaultValue = Attribute16(node, "default");
    attribute->fixedValue = Attribute16(node, "fixed");
    if (global) {
        built_[{"attribute", name}] = attribute;
    }
    if (std::optional<std::string> type = Attribute(node, "type")) {
        attribute->type = ResolveType(node, *type);
    } else if (xmlNodePtr simple = FirstXsdChild(node, {"simpleType"})) {
        attribute->type = SimpleType(simple, "");
    } else {
        attribute->type = BuiltInTypeItem(u"anySimpleType");
    }
    return attribute;
}

void Builder::CollectAttributes(xmlNodePtr holder, SchemaItemData* owner, const SchemaItemData* scope) {
    for (xmlNodePtr child : XsdChildren(holder)) {
        std::string_view kind = ViewXml(child->name);
        if (kind == "attribute") {
            owner->attributes.push_back(AttributeDecl(child, false, scope));
        } else if (kind == "attributeGroup") {
            if (const SchemaItemData* group =
                    GlobalAttributeGroup(Resolve(child, Attribute(child, "ref").value_or("")).local)) {
                owner->attributes.insert(owner->attributes.end(), group->attributes.begin(),
                                         group->attributes.end());
                if (group->anyAttribute != nullptr) {
                    owner->anyAttribute = group->anyAttribute;
                }
            }
        } else if (kind == "anyAttribute") {
            owner->anyAttribute = Wildcard(child, SOMITEM_ANYATTRIBUTE);
        }
    }
}

void Builder::Build() {
    schemaNode_ = xmlDocGetRootElement(data_.doc);
    SchemaItemData* root = data_.NewItem(SOMITEM_SCHEMA);
    data_.root = root;
    data_.targetNamespace = Attribute16(schemaNode_, "targetNamespace").value_or(u"");
    root->ns = data_.targetNamespace;
    root->version = Attribute16(schemaNode_, "version").value_or(u"");
    root->unhandled = UnhandledOf(schemaNode_);
    elementsQualified_ = Attribute(schemaNode_, "elementFormDefault").value_or("") == "qualified";
    attributesQualified_ = Attribute(schemaNode_, "attributeFormDefault").value_or("") == "qualified";
    std::vector<xmlNodePtr> components = XsdChildren(schemaNode_);
    for (xmlNodePtr node : components) {
        std::string kind(ViewXml(node->name));
        if (std::optional<std::string> name = Attribute(node, "name")) {
            globals_[{kind, *name}] = node;
        }
    }
    for (xmlNodePtr node : components) {
        std::string kind(ViewXml(node->name));
        std::string name = Attribute(node, "name").value_or("");
        auto add = [](std::vector<const SchemaItemData*>& list, const SchemaItemData* item) {
            if (item != nullptr) {
                list.push_back(item);
            }
        };
        if (kind == "simpleType" || kind == "complexType") {
            add(root->types, GlobalType(name));
        } else if (kind == "element") {
            add(root->elements, GlobalElement(name));
        } else if (kind == "attribute") {
            add(root->attributes, GlobalAttribute(name));
        } else if (kind == "attributeGroup") {
            add(root->attributeGroups, GlobalAttributeGroup(name));
        } else if (kind == "group") {
            add(root->modelGroups, NamedGroup(name));
        }
    }
}

} // namespace

void BuildSchemaItems(SchemaData& data) {
    Builder(data).Build();
}

} // namespace vr::xml::detail
