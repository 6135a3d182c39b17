// The XML schema factory's self-test: the worked examples built, validated, read back and compared with their
// expected texts.
#include "common/schemafactory/XMLSchemaFactory.h"
#include "common/schemafactory/XMLSchemaFactoryInternal.h"
#include "common/trace/Trace.h"
#include "platform/com/comutil.h"

#include <array>
#include <new>

namespace {

constexpr const OLECHAR* kStructure = vrcommon::schemafactory::kDefaultAttrStructure;

constexpr const OLECHAR* kPlainAttributes =
    u"fixed=xxx default=yyy minOccurs=1 maxOccurs=1 vra:parsing=LongestValue";
constexpr const OLECHAR* kPlainText =
    u"<xsd:element xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" name=\"strText\" type=\"xsd:string\" "
    u"fixed=\"xxx\" default=\"yyy\" minOccurs=\"1\" maxOccurs=\"1\" vra:parsing=\"LongestValue\"/>";

constexpr const OLECHAR* kFacetAttributes =
    u"default=yyy minOccurs=1 maxOccurs=1 vra:parsing=LongestValue enumeration=LO vra:substitution=0 "
    u"enumeration=HI vra:substitution=1 pattern='[^~]*Wl: ' length=10 minLength=1 maxLength=100 "
    u"minInclusive=0.0 maxInclusive=1700.0";
constexpr const OLECHAR* kFacetText =
    u"<xsd:element xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" name=\"strText\" default=\"yyy\" "
    u"minOccurs=\"1\" maxOccurs=\"1\" vra:parsing=\"LongestValue\"><xsd:simpleType>"
    u"<xsd:restriction base=\"xsd:string\"><xsd:enumeration value=\"LO\" vra:substitution=\"0\"/>"
    u"<xsd:enumeration value=\"HI\" vra:substitution=\"1\"/><xsd:pattern value=\"[^~]*Wl: \"/>"
    u"<xsd:length value=\"10\"/><xsd:minLength value=\"1\"/><xsd:maxLength value=\"100\"/>"
    u"<xsd:minInclusive value=\"0.0\"/><xsd:maxInclusive value=\"1700.0\"/></xsd:restriction>"
    u"</xsd:simpleType></xsd:element>";

constexpr const OLECHAR* kComplexTypeText =
    u"<xsd:complexType name=\"msgWL\"><!--This is comment...--><xsd:sequence minOccurs=\"1\" maxOccurs=\"1\">"
    u"<xsd:element name=\"nX\" type=\"xsd:int\" fixed=\"10\"/><xsd:sequence minOccurs=\"21\" "
    u"maxOccurs=\"21\">"
    u"<xsd:element name=\"dX\"><xsd:simpleType><xsd:restriction base=\"xsd:double\">"
    u"<xsd:pattern value=\"\\d*.\\d{1}\"/><xsd:minInclusive value=\"0.0\"/><xsd:maxInclusive value=\"17.0\"/>"
    u"</xsd:restriction></xsd:simpleType></xsd:element></xsd:sequence>"
    u"<xsd:sequence minOccurs=\"22\" maxOccurs=\"22\"/></xsd:sequence></xsd:complexType>";

// A failed step ends the self-test at once; a mismatch is only counted.
struct StepFailed {};

void Require(HRESULT hr) {
    if (FAILED(hr)) {
        throw StepFailed{};
    }
}

} // namespace

bool CXMLSchemaFactory::TestClass() {
    SetTraceMethodName(u"CXMLSchemaFactory::TestClass()");
    bool allHold = true;
    auto check = [&allHold](bool holds) { allHold = allHold && holds; };
    // Builds an element and checks its text and what LoadElement gives back.
    auto roundTrip = [&](const OLECHAR* name, const OLECHAR* type, const OLECHAR* attributes,
                         const OLECHAR* expectedText) {
        vr::xml::Node element;
        Require(CreateElement(&element, type, name, attributes, kStructure, u"xsd"));
        check(element.xml() == expectedText);
        std::array<_bstr_t, 5> loaded;
        Require(LoadElement(element, loaded[0].GetAddress(), loaded[1].GetAddress(), loaded[2].GetAddress(),
                            loaded[3].GetAddress(), loaded[4].GetAddress()));
        check(loaded[0] == type && loaded[1] == name && loaded[2] == attributes && loaded[3] == kStructure &&
              loaded[4] == u"xsd");
    };
    auto verdict = [&](const vr::xml::Node& element, const OLECHAR* value) {
        _bstr_t errorText;
        HRESULT hr = IsValidElement(element, value, errorText.GetAddress());
        Require(hr);
        return hr;
    };
    try {
        roundTrip(u"strText", u"string", kPlainAttributes, kPlainText);
        roundTrip(u"strText", u"string", kFacetAttributes, kFacetText);

        vr::xml::Node dX;
        Require(CreateElement(&dX, u"double", u"dX",
                              u"pattern='\\d*.\\d{1}' minInclusive=0.0 maxInclusive=17.0", kStructure,
                              u"xsd"));
        check(verdict(dX, u"1.0") == S_OK && verdict(dX, u"1.000") == S_FALSE &&
              verdict(dX, u"100.0") == S_FALSE);
        vr::xml::Node nX;
        Require(CreateElement(&nX, u"int", u"nX", u"fixed=10", kStructure, u"xsd"));
        check(verdict(nX, u"10") == S_OK && verdict(nX, u"1") == S_OK);

        vr::xml::Node complexType;
        Require(CTBeginComplexType(&complexType, u"msgWL", u"xsd"));
        Require(AddElement(u"This is comment..."));
        Require(CTBeginSequence(1, 1));
        Require(AddElement(nX));
        Require(CTBeginSequence(21, 21));
        Require(AddElement(dX));
        Require(CTEndSequence());
        Require(CTBeginSequence(22, 22));
        Require(CTEndSequence());
        check(complexType.xml() == kComplexTypeText);
    } catch (const StepFailed&) {
        return false;
    } catch (const _com_error&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    return allHold;
}
