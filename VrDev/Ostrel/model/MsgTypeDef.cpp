// The message definition: its records, and the complex type built from them and read back.
#include "VrDev/Ostrel/model/MsgTypeDef.h"

#include "VrDev/Ostrel/model/MsgTypeDefText.h"
#include "common/options/ParamParser.h"
#include "common/trace/Trace.h"
#include "platform/base/format.h"
#include "platform/base/text.h"
#include "platform/com/comutil.h"

#include <algorithm>
#include <new>

using ostrel::ItemOf;
using ostrel::Narrow;
using ostrel::Wide;

namespace {

constexpr std::u16string_view kSampleComment = u"MessageTextSample: ";

const char16_t* KindName(MtdKind kind) {
    switch (kind) {
    case MtdKind::SequenceBegin:
        return u"MtdSequenceBegin";
    case MtdKind::SequenceEnd:
        return u"MtdSequenceEnd";
    default:
        return u"MtdSchemaElement";
    }
}

bool IsGapPattern(std::u16string_view pattern) {
    return pattern == CMsgTypeDef::kGapPatternTilde || pattern == CMsgTypeDef::kGapPatternDollar ||
           pattern == CMsgTypeDef::kGapPatternAny;
}

} // namespace

CMsgTypeDef::CMsgTypeDef() : blankAdapterFile_(ostrel::BlankAdapterFilePath()) {}

CMsgTypeDef::~CMsgTypeDef() = default;

bool CMsgTypeDef::Init(std::string_view sample, std::string_view messageName, std::string_view termString,
                       std::u16string_view xsdQualifier, std::u16string_view xmlAttrStructure) {
    Reset();
    sample_ = sample;
    messageName_ = messageName;
    xsdQualifier_ = xsdQualifier;
    xmlAttrStructure_ = xmlAttrStructure;
    AddTermString(termString);
    SetModified(true);
    return true;
}

void CMsgTypeDef::Reset() {
    elements_.clear();
    current_ = kNoRecord;
    parseResult_.clear();
    sampleCommentTerm_.clear();
    schemaTypes_.clear();
}

// ---- Records ----

void CMsgTypeDef::AppendMissingItems(std::u16string& attributes) const {
    ostrel::AppendItemIfMissing(attributes, u"XsdQualifier", xsdQualifier_);
    ostrel::AppendItemIfMissing(attributes, u"XmlAttrStructure", xmlAttrStructure_);
}

void CMsgTypeDef::AddElement(int b, int e, std::u16string_view attributes) {
    std::u16string description(attributes);
    AppendMissingItems(description);
    size_t at = 0;
    while (at < elements_.size() &&
           !(elements_[at].kind == MtdKind::SchemaElement && elements_[at].nPosBegin > b)) {
        ++at;
    }
    // A token placed right before a group that begins there stays outside that group.
    if (at > 0 && elements_[at - 1].kind == MtdKind::SequenceBegin) {
        --at;
    }
    elements_.insert(elements_.begin() + static_cast<std::ptrdiff_t>(at),
                     MtdElement{MtdKind::SchemaElement, b, e, std::move(description)});
    current_ = at;
}

bool CMsgTypeDef::AddSequence(int b, int e, std::u16string_view attributes) {
    std::u16string description(attributes);
    ostrel::AppendItemIfMissing(description, u"type", u"sequence");
    auto tokenWhere = [this](auto matches) {
        for (size_t i = 0; i < elements_.size(); ++i) {
            if (elements_[i].kind == MtdKind::SchemaElement && matches(elements_[i])) {
                return i;
            }
        }
        return kNoRecord;
    };
    size_t first = tokenWhere([b](const MtdElement& record) { return record.nPosBegin == b; });
    size_t beginAt = first == kNoRecord ? elements_.size() : first;
    elements_.insert(elements_.begin() + static_cast<std::ptrdiff_t>(beginAt),
                     MtdElement{MtdKind::SequenceBegin, b, e, std::move(description)});
    size_t last = tokenWhere([e](const MtdElement& record) { return record.nPosEnd == e; });
    size_t endAt = last == kNoRecord ? elements_.size() : last + 1;
    elements_.insert(elements_.begin() + static_cast<std::ptrdiff_t>(endAt),
                     MtdElement{MtdKind::SequenceEnd, -1, -1, {}});
    current_ = beginAt;
    return true;
}

bool CMsgTypeDef::InsertMtdElement(const MtdElement& record, long index) {
    if (index < 0 || static_cast<size_t>(index) > elements_.size()) {
        TraceInfo(u"WARNING: InsertMtdElement's lIndex {%d} > m_vecElements.size() {%d}",
                  static_cast<int>(index), static_cast<int>(elements_.size()));
        return false;
    }
    std::optional<std::pair<int, int>> currentSpan;
    if (current_ < elements_.size()) {
        currentSpan = std::pair(elements_[current_].nPosBegin, elements_[current_].nPosEnd);
    }
    elements_.insert(elements_.begin() + index, record);
    if (record.kind != MtdKind::SequenceEnd) {
        current_ = static_cast<size_t>(index);
    } else {
        // The insertion may have moved the current record: find it again by its positions.
        size_t again = kNoRecord;
        current_ = currentSpan && FindElement(currentSpan->first, currentSpan->second, &again, MtdKind::Any)
                       ? again
                       : kNoRecord;
    }
    return true;
}

bool CMsgTypeDef::RemoveElement(size_t record) {
    if (record >= elements_.size()) {
        return false;
    }
    if (elements_[record].kind == MtdKind::SequenceBegin) {
        size_t end = kNoRecord;
        if (FindSequenceEnd(record, &end)) {
            elements_.erase(elements_.begin() + static_cast<std::ptrdiff_t>(end));
        }
    }
    elements_.erase(elements_.begin() + static_cast<std::ptrdiff_t>(record));
    current_ = kNoRecord;
    return true;
}

bool CMsgTypeDef::RemoveCurrentElement() {
    return current_ != kNoRecord && RemoveElement(current_);
}

bool CMsgTypeDef::SetCurrentElement(int b, int e) {
    size_t found = kNoRecord;
    if (!FindElement(b, e, &found, MtdKind::Any)) {
        return false;
    }
    current_ = found;
    return true;
}

bool CMsgTypeDef::GetCurrentElement(std::u16string* attributes, int* b, int* e) const {
    if (current_ >= elements_.size()) {
        return false;
    }
    const MtdElement& record = elements_[current_];
    if (attributes) {
        *attributes = record.ExtAttributes;
    }
    if (b) {
        *b = record.nPosBegin;
    }
    if (e) {
        *e = record.nPosEnd;
    }
    return true;
}

bool CMsgTypeDef::SetCurrentAttributes(std::u16string_view attributes) {
    if (current_ >= elements_.size()) {
        return false;
    }
    MtdElement& record = elements_[current_];
    std::u16string description(attributes);
    std::optional<std::u16string> type = ItemOf(description, u"type");
    if (record.kind == MtdKind::SchemaElement && type == u"sequence") {
        return false;
    }
    if (record.kind == MtdKind::SequenceBegin) {
        if (!type) {
            ostrel::AppendItemIfMissing(description, u"type", u"sequence");
        } else if (*type != u"sequence") {
            return false;
        }
    }
    record.ExtAttributes = std::move(description);
    return true;
}

bool CMsgTypeDef::FindElement(int b, int e, size_t* record, MtdKind kind) const {
    auto search = [&](MtdKind wanted) {
        for (size_t i = 0; i < elements_.size(); ++i) {
            const MtdElement& item = elements_[i];
            if (item.kind == wanted && (b == -1 || item.nPosBegin == b) && (e == -1 || item.nPosEnd == e)) {
                *record = i;
                return true;
            }
        }
        return false;
    };
    if (kind == MtdKind::Any) {
        return search(MtdKind::SequenceBegin) || search(MtdKind::SchemaElement);
    }
    return search(kind);
}

bool CMsgTypeDef::FindSequenceEnd(size_t groupBegin, size_t* groupEnd) const {
    if (groupBegin >= elements_.size() || elements_[groupBegin].kind != MtdKind::SequenceBegin) {
        return false;
    }
    int depth = 0;
    for (size_t i = groupBegin + 1; i < elements_.size(); ++i) {
        if (elements_[i].kind == MtdKind::SequenceBegin) {
            ++depth;
        } else if (elements_[i].kind == MtdKind::SequenceEnd && depth-- == 0) {
            *groupEnd = i;
            return true;
        }
    }
    return false;
}

bool CMsgTypeDef::GetSequenceEndPos(int b, int* position) const {
    size_t begin = kNoRecord;
    size_t end = kNoRecord;
    if (!FindElement(b, -1, &begin, MtdKind::SequenceBegin) || !FindSequenceEnd(begin, &end)) {
        return false;
    }
    *position = elements_[end].nPosEnd;
    return true;
}

bool CMsgTypeDef::FindElementByName(std::u16string_view name, size_t* record) const {
    for (size_t i = 0; i < elements_.size(); ++i) {
        if (elements_[i].kind == MtdKind::SchemaElement && GetElementName(i) == name) {
            *record = i;
            return true;
        }
    }
    return false;
}

bool CMsgTypeDef::ElementExists(std::u16string_view name) const {
    size_t ignored = kNoRecord;
    return FindElementByName(name, &ignored);
}

bool CMsgTypeDef::FindElementAt(int position, size_t* record) const {
    if (position < 0) {
        return false;
    }
    for (size_t i = 0; i < elements_.size(); ++i) {
        const MtdElement& item = elements_[i];
        if (item.kind == MtdKind::SchemaElement && item.nPosBegin <= position && position < item.nPosEnd) {
            *record = i;
            return true;
        }
    }
    return false;
}

bool CMsgTypeDef::GetElementSpanAt(int position, int* b, int* e) const {
    size_t found = kNoRecord;
    if (!FindElementAt(position, &found)) {
        return false;
    }
    *b = elements_[found].nPosBegin;
    *e = elements_[found].nPosEnd;
    return true;
}

bool CMsgTypeDef::SetElementPositions(std::u16string_view name, int b, int e) {
    size_t found = kNoRecord;
    if (!FindElementByName(name, &found)) {
        return false;
    }
    elements_[found].nPosBegin = b;
    elements_[found].nPosEnd = e;
    return true;
}

bool CMsgTypeDef::GetElementAttributes(int b, int e, std::u16string* attributes) const {
    size_t found = kNoRecord;
    if (!FindElement(b, e, &found, MtdKind::Any)) {
        return false;
    }
    *attributes = elements_[found].ExtAttributes;
    return true;
}

bool CMsgTypeDef::GetNextElement(int* b, int* e, std::u16string* attributes) const {
    size_t from = 0;
    if (!(*b == 0 && *e == 0 && attributes->empty())) {
        auto same = [&](const MtdElement& item) {
            return item.nPosBegin == *b && item.nPosEnd == *e && item.ExtAttributes == *attributes;
        };
        auto match = std::find_if(elements_.begin(), elements_.end(), same);
        if (match == elements_.end()) {
            return false;
        }
        from = static_cast<size_t>(match - elements_.begin()) + 1;
    }
    for (size_t i = from; i < elements_.size(); ++i) {
        if (elements_[i].kind != MtdKind::SequenceEnd) {
            *b = elements_[i].nPosBegin;
            *e = elements_[i].nPosEnd;
            *attributes = elements_[i].ExtAttributes;
            return true;
        }
    }
    return false;
}

std::u16string CMsgTypeDef::GetElementName(size_t record) const {
    return record < elements_.size() ? ItemOf(elements_[record].ExtAttributes, u"name").value_or(u"")
                                     : std::u16string();
}

std::u16string CMsgTypeDef::GetElementType(size_t record) const {
    return record < elements_.size() ? ItemOf(elements_[record].ExtAttributes, u"type").value_or(u"")
                                     : std::u16string();
}

void CMsgTypeDef::SetModified(bool modified) {
    modified_ = modified;
    if (modified) {
        return;
    }
    vr::xml::Node built;
    savedDefinition_ = SUCCEEDED(GetMsgTypeDef(&built)) ? built.xml() : std::u16string();
}

bool CMsgTypeDef::IsModified() {
    if (sample_.empty()) {
        return false;
    }
    if (modified_) {
        return true;
    }
    vr::xml::Node built;
    return FAILED(GetMsgTypeDef(&built)) || built.xml() != savedDefinition_;
}

void CMsgTypeDef::TraceVecElements() const {
    TraceInfoOf([this] {
        std::u16string text;
        for (const MtdElement& item : elements_) {
            text += vr::FormatWString(u"%s: nPosBegin='%d', nPosEnd='%d', ExtAttributes='%s';",
                                      KindName(item.kind), item.nPosBegin, item.nPosEnd,
                                      item.ExtAttributes.c_str());
        }
        return text;
    });
}

// ---- Building the complex type ----

HRESULT CMsgTypeDef::GetMsgTypeDef(vr::xml::Node* complexType) {
    SetTraceMethodName(u"CMsgTypeDef::GetMsgTypeDef()");
    vr::xml::Node built;
    HRESULT hr = BuildComplexType(&built);
    if (SUCCEEDED(hr)) {
        *complexType = built;
    }
    return hr;
}

HRESULT CMsgTypeDef::BuildComplexType(vr::xml::Node* complexType) {
    if (HRESULT hr = CheckSampleFitsComment(sample_); FAILED(hr)) {
        return hr;
    }
    const std::u16string name = Wide(messageName_);
    HRESULT hr = factory_.CTBeginComplexType(complexType, name.c_str(), xsdQualifier_.c_str());
    std::string_view stored = sample_;
    if (!sampleCommentTerm_.empty() && stored.ends_with(sampleCommentTerm_)) {
        stored.remove_suffix(sampleCommentTerm_.size()); // the comment as it was written: without terminator
    }
    const std::u16string comment = std::u16string(kSampleComment) + Wide(stored);
    if (SUCCEEDED(hr)) {
        hr = factory_.AddElement(comment.c_str());
    }
    if (SUCCEEDED(hr)) {
        hr = factory_.CTBeginSequence(1, 1);
    }
    gapCounter_ = 1;
    const int length = static_cast<int>(sample_.size());
    int cursor = 0;
    for (size_t i = 0; i < elements_.size() && SUCCEEDED(hr); ++i) {
        const MtdElement& item = elements_[i];
        // Positions never reach past the sample, whatever the records hold.
        const int begin = std::min(item.nPosBegin, length);
        if (item.kind == MtdKind::SchemaElement) {
            if (cursor < begin) {
                hr = CreateGap(cursor, begin);
            }
            vr::xml::Node element;
            if (SUCCEEDED(hr)) {
                hr = factory_.CreateElement(&element, item.ExtAttributes.c_str());
            }
            if (SUCCEEDED(hr)) {
                hr = factory_.AddElement(element);
            }
            cursor = std::max(cursor, std::min(item.nPosEnd, length));
        } else if (item.kind == MtdKind::SequenceBegin) {
            if (cursor < begin) {
                hr = CreateGap(cursor, begin);
            }
            cursor = std::max(cursor, begin);
            if (SUCCEEDED(hr)) {
                hr = factory_.SetOccurs(item.ExtAttributes.c_str());
            }
        } else {
            hr = factory_.CTEndSequence();
            if (item.nPosEnd != -1) {
                cursor = std::max(cursor, std::min(item.nPosEnd, length));
            }
        }
    }
    if (SUCCEEDED(hr) && cursor < length) {
        hr = CreateGap(cursor, length);
    }
    return hr;
}

HRESULT CMsgTypeDef::CheckSampleFitsComment(std::string_view sample) {
    // XML allows no "--" inside a comment and no "-" right before its end: such a type would never load.
    if (sample.find("--") == std::string_view::npos && !sample.ends_with('-')) {
        return S_OK;
    }
    SetTraceSite();
    TraceError(u"The sample text can't be kept in the message type: it holds \"--\" or ends with \"-\".");
    return E_INVALIDARG;
}

bool CMsgTypeDef::GapIsAbsorbed(int from, int to) const {
    for (int i = from; i < to; ++i) {
        if (sample_[static_cast<size_t>(i)] != ' ') {
            return false;
        }
    }
    auto numeric = [this](size_t record) {
        return CXMLSchemaFactory::IsNumericXsdType(GetElementType(record).c_str());
    };
    size_t record = kNoRecord;
    if (FindElement(-1, from, &record, MtdKind::SchemaElement) && numeric(record)) {
        return true;
    }
    return FindElement(to, -1, &record, MtdKind::SchemaElement) && numeric(record);
}

std::u16string CMsgTypeDef::GapPattern() const {
    if (sample_.find('~') == std::string::npos) {
        return std::u16string(kGapPatternTilde);
    }
    if (sample_.find('$') == std::string::npos) {
        return std::u16string(kGapPatternDollar);
    }
    // Both marks occur: a pattern that matches any text, which Load still reads back as a gap.
    return std::u16string(kGapPatternAny);
}

HRESULT CMsgTypeDef::CreateGap(int from, int to) {
    if (from >= to) {
        return S_OK;
    }
    std::u16string description = u"type=string name=_strGap" + vr::FormatWString(u"%d", gapCounter_++);
    if (gapMode_ == GapMode::Pattern) {
        if (GapIsAbsorbed(from, to)) {
            return S_OK; // the numeric value next to the blanks takes them
        }
        (void)ostrel::AppendItem(description, u"pattern", GapPattern()); // no pattern holds all four quotes
    } else {
        std::u16string text = Wide(sample_.substr(static_cast<size_t>(from), static_cast<size_t>(to - from)));
        if (!ostrel::AppendItem(description, u"fixed", text)) {
            SetTraceSite();
            TraceError(u"The text '%s' can't be written as a fixed value.", text.c_str());
            return E_INVALIDARG;
        }
    }
    vr::xml::Node element;
    HRESULT hr = factory_.CreateElement(&element, description.c_str(), u"vra:substitution=enumeration",
                                        xsdQualifier_.c_str());
    return SUCCEEDED(hr) ? factory_.AddElement(element) : hr;
}

// ---- Reading a complex type ----

HRESULT CMsgTypeDef::Load(const vr::xml::Node& complexType) {
    SetTraceMethodName(u"CMsgTypeDef::Load()");
    try {
        if (!complexType) {
            throw _com_error(E_POINTER);
        }
        if (complexType.baseName() != u"complexType") {
            SetTraceSite();
            TraceError(
                u"Passed pComplexTypeNodeMsgTypeDef is a '%s' element, but it should be a 'complexType' "
                u"element.",
                complexType.baseName().c_str());
            ClearAfterFailedLoad();
            return E_INVALIDARG;
        }
        HRESULT hr = ReadComplexType(complexType);
        if (FAILED(hr)) {
            ClearAfterFailedLoad();
        }
        return hr;
    } catch (const _com_error& error) {
        ClearAfterFailedLoad();
        DumpComError(error);
        return error.Error();
    } catch (const std::bad_alloc&) {
        ClearAfterFailedLoad();
        return E_OUTOFMEMORY;
    }
}

HRESULT CMsgTypeDef::ReadComplexType(const vr::xml::Node& complexType) {
    xsdQualifier_ = complexType.prefix();
    std::u16string name;
    (void)complexType.getAttribute(u"name", &name); // a type without a name keeps an empty one
    messageName_ = Narrow(name);
    if (!complexType.firstChild()) {
        throw _com_error(E_POINTER);
    }
    // The sample is the first comment that carries it: indentation, other comments and annotations may
    // stand around it, as the socket reads the type.
    std::optional<std::u16string> comment;
    for (const vr::xml::Node& child : complexType.childNodes()) {
        std::u16string text = child.nodeValue();
        if (child.nodeType() == vr::xml::NODE_COMMENT &&
            text.compare(0, kSampleComment.size(), kSampleComment) == 0) {
            comment = text.substr(kSampleComment.size());
            break;
        }
    }
    if (!comment) {
        // What to add: the text the socket sends for a type of fixed texts, else a placeholder to replace.
        KeepSchemaTypesOf(complexType);
        const std::string composed = ComposedSampleOf(complexType);
        const std::string line = "<!--MessageTextSample: " +
                                 (composed.empty() ? std::string("(the text of one message)") : composed) +
                                 "-->";
        SetTraceSite();
        TraceError(u"Passed MsgTypeDef '%hs' (complexType element) doesn't have Sample Message Text. Add "
                   u"the comment %hs as the first line of its complexType.",
                   vr::ToUtf8(name).c_str(), line.c_str());
        return E_FAIL;
    }
    sample_ = Narrow(*comment);
    KeepSchemaTypesOf(complexType);
    loadIndex_ = 0;
    outerSequenceSeen_ = false;
    for (const vr::xml::Node& child : complexType.childNodes()) {
        if (HRESULT hr = ReadSequence(child); FAILED(hr)) {
            return hr;
        }
    }
    // A sample written without the terminator (as people write them) still ends with it: the type's own
    // terminator, as the socket derives it, ends every message of the type. The stored comment keeps its
    // own form.
    const std::string term = TerminatorOf(complexType);
    if (!term.empty() && !sample_.ends_with(term)) {
        sample_ += term;
        sampleCommentTerm_ = term;
    }
    if (HRESULT hr = ParseMsg(complexType, {}); FAILED(hr)) {
        return hr;
    }
    if (gapMode_ == GapMode::Fixed) {
        DropFixedUnderscoreTokens();
    }
    SetModified(false);
    current_ = kNoRecord;
    return S_OK;
}

void CMsgTypeDef::ClearAfterFailedLoad() {
    // What did not load must not be saved as if it had: nothing of it stays.
    Reset();
    sample_.clear();
    messageName_.clear();
    sampleCommentTerm_.clear();
    schemaTypes_.clear();
    SetModified(false);
}

void CMsgTypeDef::KeepSchemaTypesOf(const vr::xml::Node& complexType) {
    schemaTypes_.clear();
    vr::xml::Node schema = complexType.parentNode();
    if (!schema || schema.nodeType() != vr::xml::NODE_ELEMENT || schema.baseName() != u"schema") {
        return;
    }
    for (const vr::xml::Node& child : schema.childNodes()) {
        std::u16string typeName;
        vr::xml::Node copy;
        if (child.nodeType() == vr::xml::NODE_ELEMENT && child.baseName() == u"simpleType" &&
            child.getAttribute(u"name", &typeName) == S_OK && SUCCEEDED(child.cloneNode(true, &copy))) {
            schemaTypes_.push_back(copy);
        }
    }
}

HRESULT CMsgTypeDef::ReadSequence(const vr::xml::Node& node) {
    if (node.nodeType() != vr::xml::NODE_ELEMENT) {
        return S_OK;
    }
    if (node.baseName() == u"element") {
        return ReadElement(node);
    }
    if (node.baseName() != u"sequence") {
        return S_OK;
    }
    LONG minOccurs = 1;
    LONG maxOccurs = -1;
    std::u16string value;
    if (node.getAttribute(u"minOccurs", &value) == S_OK) {
        (void)TextToLong(&minOccurs, value.c_str(), 10, true, true); // not a number: the default stays
    }
    if (node.getAttribute(u"maxOccurs", &value) == S_OK &&
        !TextToLong(&maxOccurs, value.c_str(), 10, true, true)) {
        maxOccurs = -1; // "unbounded"
    }
    const bool outermost = !outerSequenceSeen_ && loadIndex_ == 0;
    if (outermost) {
        outerSequenceSeen_ = true;
    } else {
        std::u16string description =
            maxOccurs == -1 ? vr::FormatWString(u"type=sequence minOccurs=%d", static_cast<int>(minOccurs))
                            : vr::FormatWString(u"type=sequence minOccurs=%d maxOccurs=%d",
                                                static_cast<int>(minOccurs), static_cast<int>(maxOccurs));
        (void)InsertMtdElement({MtdKind::SequenceBegin, -1, -1, description}, loadIndex_++); // index in range
    }
    for (const vr::xml::Node& child : node.childNodes()) {
        if (HRESULT hr = ReadSequence(child); FAILED(hr)) {
            return hr;
        }
    }
    if (!outermost) {
        (void)InsertMtdElement({MtdKind::SequenceEnd, -1, -1, {}}, loadIndex_++); // index in range
    }
    return S_OK;
}

HRESULT CMsgTypeDef::ReadElement(const vr::xml::Node& node) {
    BSTR description = nullptr;
    // A failing element still makes a token with what the factory made of it.
    (void)factory_.LoadElement(node, &description);
    std::u16string text(vr::BstrView(description));
    SysFreeString(description);
    if (ItemOf(text, u"type") == u"string") {
        std::optional<std::u16string> pattern = ItemOf(text, u"pattern");
        if (pattern && IsGapPattern(*pattern)) {
            return S_OK;
        }
    }
    (void)InsertMtdElement({MtdKind::SchemaElement, -1, -1, std::move(text)}, loadIndex_++); // index in range
    return S_OK;
}

void CMsgTypeDef::DropFixedUnderscoreTokens() {
    std::erase_if(elements_, [](const MtdElement& item) {
        if (item.kind != MtdKind::SchemaElement) {
            return false;
        }
        std::u16string name = ItemOf(item.ExtAttributes, u"name").value_or(u"");
        return !name.empty() && name.front() == u'_' && ItemOf(item.ExtAttributes, u"fixed").has_value();
    });
    current_ = kNoRecord;
}
