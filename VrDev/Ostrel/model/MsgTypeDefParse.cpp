// The message definition's parsing side: answers parsed with the compose/parse engine, token positions
// derived from the sample, sample edits that keep the tokens consistent, and the built-in example.
#include "VrDev/Ostrel/model/MsgTypeDef.h"

#include "VrDev/Ostrel/model/MsgTypeDefText.h"
#include "common/trace/Trace.h"
#include "platform/base/text.h"
#include "platform/com/comutil.h"
#include "platform/xml/namespaces.h"

#include <algorithm>
#include <map>
#include <new>

using ostrel::Narrow;
using ostrel::Wide;

namespace {

void ThrowIfFailed(HRESULT hr) {
    if (FAILED(hr)) {
        throw _com_error(hr);
    }
}

// Takes the annotation that only writing a command uses (vra:format, the engine's format of a value sent)
// out of the element and its descendants: reading the sample refuses it, yet a command's values still read
// by their types.
void DropComposeOnlyAnnotations(const vr::xml::Node& element) {
    vr::xml::NamedNodeMap attributes = element.attributes();
    for (int32_t index = attributes.length(); index-- > 0;) {
        vr::xml::Node attribute = attributes.item(index);
        // A built element names it "vra:format" before it is in a document that declares the prefix.
        const bool annotation = attribute.namespaceURI() == vr::xml::kAdapterAnnotationsNamespace ||
                                (attribute.namespaceURI().empty() && attribute.prefix() == u"vra");
        if (annotation && attribute.baseName() == u"format") {
            ThrowIfFailed(attributes.removeNamedItem(attribute.nodeName()));
        }
    }
    for (const vr::xml::Node& child : element.childNodes()) {
        if (child.nodeType() == vr::xml::NODE_ELEMENT) {
            DropComposeOnlyAnnotations(child);
        }
    }
}

} // namespace

HRESULT CMsgTypeDef::LoadParseDocument(const vr::xml::Node& complexType, vr::xml::Document* document) {
    ThrowIfFailed(vr::xml::Document::Create(document));
    document->setAsync(false);
    document->setValidateOnParse(false);
    document->setPreserveWhiteSpace(true);
    ThrowIfFailed(document->setProperty(u"SelectionLanguage", u"XPath"));
    if (FAILED(document->load(blankAdapterFile_))) {
        DumpParseError(document->parseError());
        return E_FAIL;
    }
    vr::xml::Node schema;
    vr::xml::Node copy;
    if (!complexType || document->selectSingleNode(u"//types/*", &schema) != S_OK) {
        throw _com_error(E_POINTER); // no node, or a blank adapter file without a types schema
    }
    // The named simple types of the type's own schema go along: its elements may be of those types.
    for (const vr::xml::Node& type : schemaTypes_) {
        vr::xml::Node typeCopy;
        ThrowIfFailed(type.cloneNode(true, &typeCopy));
        ThrowIfFailed(schema.appendChild(typeCopy));
    }
    ThrowIfFailed(complexType.cloneNode(true, &copy));
    DropComposeOnlyAnnotations(copy);
    ThrowIfFailed(schema.appendChild(copy));
    return S_OK;
}

HRESULT CMsgTypeDef::PrepareEngine(const vr::xml::Node& complexType, std::u16string* typeName) {
    vr::xml::Document document;
    if (HRESULT hr = LoadParseDocument(complexType, &document); FAILED(hr)) {
        return hr;
    }
    if (complexType.getAttribute(u"name", typeName) != S_OK) {
        SetTraceSite();
        TraceError(u"pComplexTypeNodeMsgTypeDef has no 'name' attribute");
        return E_FAIL;
    }
    if (!xlatrix_.SetSchemaXml(document)) {
        SetTraceSite();
        TraceError(u"Xlatrix::SetSchemaXml() returns Error: '%hs'",
                   vr::ToUtf8(Wide(xlatrix_.strErrorText)).c_str());
        return E_FAIL;
    }
    return S_OK;
}

std::string CMsgTypeDef::TerminatorOf(const vr::xml::Node& complexType) {
    try {
        std::u16string typeName;
        std::u16string term;
        if (FAILED(PrepareEngine(complexType, &typeName)) ||
            !xlatrix_.GetTermString(Narrow(typeName).c_str(), term)) {
            return {}; // a type the engine cannot read has no terminator to add; its parse tells why
        }
        return Narrow(term);
    } catch (const _com_error&) {
        return {}; // as above: the parse that follows reports it
    }
}

std::string CMsgTypeDef::ComposedSampleOf(const vr::xml::Node& complexType) {
    try {
        std::u16string typeName;
        std::string composed;
        if (FAILED(PrepareEngine(complexType, &typeName))) {
            return {};
        }
        const std::string type = Narrow(typeName);
        xlatrix_.RemoveAllComposeEntryParamValues();
        if (!xlatrix_.Compose(type.c_str(), composed)) {
            return {}; // it needs values: only its writer can tell a sample
        }
        std::u16string term;
        if (xlatrix_.GetTermString(type.c_str(), term) && composed.ends_with(Narrow(term))) {
            composed.resize(composed.size() - Narrow(term).size());
        }
        return composed;
    } catch (const _com_error&) {
        return {}; // as above: a type the engine cannot read has no composed text
    }
}

HRESULT CMsgTypeDef::ParseMsg(const vr::xml::Node& complexType, std::string_view text, int* failurePos) {
    SetTraceMethodName(u"CMsgTypeDef::ParseMsg()");
    if (failurePos) {
        *failurePos = -1;
    }
    parseResult_.clear();
    try {
        std::u16string typeName;
        if (HRESULT hr = PrepareEngine(complexType, &typeName); FAILED(hr)) {
            return hr;
        }
        const bool positionMode = text.empty();
        const std::string parsed(positionMode ? std::string_view(sample_) : text);
        const std::string type = Narrow(typeName);
        xlatrix_.RemoveAllParseEntryParamValues();
        if (!xlatrix_.Parse(type.c_str(), parsed.c_str())) {
            if (failurePos) {
                *failurePos = xlatrix_.GetParseFailurePosition();
            }
            SetTraceSite();
            TraceError(u"Xlatrix::Parse(%s) returns Error: '%hs'", typeName.c_str(),
                       vr::ToUtf8(Wide(xlatrix_.strErrorText)).c_str());
            return E_FAIL;
        }
        if (positionMode) {
            DerivePositions();
        } else {
            WriteParseResult();
        }
        return S_OK;
    } catch (const _com_error& error) {
        DumpComError(error);
        return error.Error();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

void CMsgTypeDef::WriteParseResult() {
    CXlatrix::ParamValueArray& returned = xlatrix_.arrReturnedParamValues;
    std::string name;
    std::string typeName;
    std::string value;
    while (xlatrix_.GetParamValue(returned, name = {}, nullptr, &typeName, &value, 0, true, true)) {
        const int count = xlatrix_.GetNumberOfElements(name.c_str());
        std::string line = "(" + typeName + ") " + name;
        if (count <= 1) {
            line += " = '" + value + "'";
        } else {
            line += "[" + std::to_string(count) + "] = '" + value + "'";
            for (int i = 1;
                 i < count && xlatrix_.GetParamValue(returned, name, nullptr, nullptr, &value, 0, true, true);
                 ++i) {
                line += ", '" + value + "'";
            }
        }
        parseResult_ += line + ";\n";
    }
}

void CMsgTypeDef::DerivePositions() {
    // Elements of one name (two fixed texts "_strKey1", say) are matched under that name in their order: the
    // second such element takes the second match.
    std::map<std::string, int> seen;
    for (size_t i = 0; i < elements_.size(); ++i) {
        if (elements_[i].kind != MtdKind::SchemaElement) {
            continue;
        }
        const std::string name = Narrow(GetElementName(i));
        const int occurrence = seen[name]++;
        CXlatrix::MatchRecord match;
        if (xlatrix_.FindMatchRecord(name.c_str(), occurrence, &match)) {
            elements_[i].nPosBegin = match.nBegin;
            elements_[i].nPosEnd = match.nEnd;
        }
    }
    for (size_t i = 0; i < elements_.size(); ++i) {
        if (elements_[i].kind == MtdKind::SequenceBegin) {
            DeriveGroupPositions(i);
        }
    }
}

void CMsgTypeDef::DeriveGroupPositions(size_t groupBegin) {
    size_t groupEnd = kNoRecord;
    MtdElement& begin = elements_[groupBegin];
    if (FindSequenceEnd(groupBegin, &groupEnd)) {
        auto first = std::find_if(elements_.begin() + static_cast<std::ptrdiff_t>(groupBegin) + 1,
                                  elements_.begin() + static_cast<std::ptrdiff_t>(groupEnd),
                                  [](const MtdElement& item) { return item.kind == MtdKind::SchemaElement; });
        size_t last = groupEnd;
        while (last-- > groupBegin + 1 && elements_[last].kind != MtdKind::SchemaElement) {
        }
        if (first != elements_.begin() + static_cast<std::ptrdiff_t>(groupEnd) && last > groupBegin) {
            begin.nPosBegin = first->nPosBegin;
            begin.nPosEnd = elements_[last].nPosEnd;
            const std::string name = Narrow(GetElementName(last));
            const int repetitions = xlatrix_.GetNumberOfElements(name.c_str());
            CXlatrix::MatchRecord match;
            if (repetitions > 0 && xlatrix_.FindMatchRecord(name.c_str(), repetitions - 1, &match)) {
                elements_[groupEnd].nPosEnd = match.nEnd;
            }
        }
    }
    if (begin.nPosBegin == -1 || begin.nPosEnd == -1) {
        TraceInfo(
            u"WARNING: Couldn't find position(s) of the MtdSequenceElement: nPosBegin='%d', nPosEnd='%d'",
            begin.nPosBegin, begin.nPosEnd);
    }
}

HRESULT CMsgTypeDef::ParseText(std::string_view text, int* failurePos) {
    vr::xml::Node complexType;
    HRESULT hr = GetMsgTypeDef(&complexType);
    return FAILED(hr) ? hr : ParseMsg(complexType, text, failurePos);
}

void CMsgTypeDef::ClampPositions() {
    const int length = static_cast<int>(sample_.size());
    for (MtdElement& item : elements_) {
        item.nPosBegin = std::min(item.nPosBegin, length);
        item.nPosEnd = std::min(item.nPosEnd, length);
    }
}

HRESULT CMsgTypeDef::ChangeSampleText(std::string_view sample) {
    if (HRESULT hr = CheckSampleFitsComment(sample); FAILED(hr)) {
        return hr;
    }
    const std::vector<MtdElement> kept = elements_;
    if (gapMode_ == GapMode::Fixed) {
        // A command's untokenised text is its own to change: constants and gaps are only text there.
        DropFixedUnderscoreTokens();
    }
    if (std::none_of(elements_.begin(), elements_.end(),
                     [](const MtdElement& item) { return item.kind == MtdKind::SchemaElement; })) {
        // Nothing marked yet (a definition started empty): any text is a sample; a response's terminator is
        // derived from it as for a new definition.
        elements_.clear();
        sample_ = sample;
        if (gapMode_ == GapMode::Pattern) {
            AddTermString({});
        }
        return S_OK;
    }
    // The new sample must parse where the values are; text between them is checked as patterns, so that a
    // command's fixed text may change with it.
    const GapMode mode = gapMode_;
    gapMode_ = GapMode::Pattern;
    vr::xml::Node complexType;
    HRESULT built = GetMsgTypeDef(&complexType);
    gapMode_ = mode;
    if (FAILED(built)) {
        elements_ = kept;
        return built;
    }
    if (sample.empty()) {
        sample_.clear();
        ClampPositions(); // no token may reach past the (now empty) text
        return S_OK;
    }
    if (HRESULT hr = ParseMsg(complexType, sample); FAILED(hr)) {
        elements_ = kept;
        return hr;
    }
    sample_ = sample;
    // The new sample parsed just now; a token the engine did not place keeps its position, clamped.
    (void)ParseMsg(complexType, {});
    ClampPositions();
    return S_OK;
}

bool CMsgTypeDef::EditSampleText(int position, char character, bool erase) {
    if (position < 0 || position > static_cast<int>(sample_.size()) || (erase && position == 0)) {
        return false; // nothing before the start to delete
    }
    const std::vector<MtdElement> keptElements = elements_;
    const std::string keptSample = sample_;
    const int shift = erase ? -1 : 1;
    for (MtdElement& item : elements_) {
        if (item.kind != MtdKind::SchemaElement) {
            continue;
        }
        if (item.nPosBegin >= position) {
            item.nPosBegin += shift;
        }
        if (item.nPosEnd >= position) {
            item.nPosEnd += shift;
        }
    }
    std::string edited = sample_;
    if (erase) {
        edited.erase(static_cast<size_t>(position - 1), 1);
    } else {
        edited.insert(static_cast<size_t>(position), 1, character);
    }
    if (SUCCEEDED(ChangeSampleText(edited))) {
        return true;
    }
    elements_ = keptElements;
    sample_ = keptSample;
    return false;
}

bool CMsgTypeDef::TestClass() {
    SetTraceMethodName(u"CMsgTypeDef::TestClass()");
    const std::string sample = "Get pos 1\nStatA = 12\nStatB =1.145\n-> ";
    CMsgTypeDef definition;
    definition.Init(sample, "msgGetB1Response", "", u"xsd", u"vra:substitution=enumeration");
    definition.AddElement(18, 20, u"type=int name=nStatA");
    definition.AddElement(10, 18, u"type=string name=strKey1 fixed='StatA = '");
    definition.AddElement(20, 21, u"type=string name=strKey2 fixed='\n'");
    definition.AddSequence(18, 20, u"minOccurs=0 maxOccurs=1");
    vr::xml::Node built;
    if (FAILED(definition.GetMsgTypeDef(&built))) {
        return false;
    }
    definition.TraceVecElements();
    TraceInfoOf([&built] { return built.xml(); });

    definition.Init({}, {}, {}, u"xsd", u"vra:substitution=enumeration");
    vr::xml::Node rebuilt;
    if (FAILED(definition.Load(built)) || FAILED(definition.GetMsgTypeDef(&rebuilt))) {
        return false;
    }
    definition.TraceVecElements();
    TraceInfoOf([&rebuilt] { return rebuilt.xml(); });

    if (FAILED(definition.ChangeSampleText("Get pos 1\nStatA = 1234\nStatB =1.145\n-> "))) {
        return false;
    }
    definition.TraceVecElements();
    size_t value = kNoRecord;
    return definition.FindElementByName(u"nStatA", &value) && definition.Elements()[value].nPosBegin == 18 &&
           definition.Elements()[value].nPosEnd == 22;
}
