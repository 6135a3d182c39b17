// Test helpers of the compose/parse library tests.
#include "instruments/Xlatrix/tests/xlatrix_test_support.h"

#include "platform/base/text.h"
#include "platform/xml/dom.h"

namespace xltest {

std::string DataPath(const std::string& name) {
    return std::string(XLATRIX_TEST_DATA) + "/" + name;
}

bool LoadTypes(CXlatrix& xlatrix, const std::string& components) {
    std::string text = "<definitions><types><xsd:schema xmlns:xsd='http://www.w3.org/2001/XMLSchema' "
                       "xmlns:vra='urn:vornic:adapter-annotations'>" +
                       components + "</xsd:schema></types></definitions>";
    vr::xml::Document document;
    if (FAILED(vr::xml::Document::Create(&document)) || document.loadXML(vr::FromUtf8(text)) != S_OK) {
        return false;
    }
    return xlatrix.SetSchemaXml(document);
}

std::string Sequence(const std::string& name, const std::string& particles) {
    return "<xsd:complexType name='" + name + "'><xsd:sequence>" + particles +
           "</xsd:sequence></xsd:complexType>";
}

std::string Key(const std::string& name, const std::string& text) {
    return "<xsd:element name='" + name + "' type='xsd:string' fixed='" + text + "'/>";
}

std::string Element(const std::string& name, const std::string& type, const std::string& more) {
    return "<xsd:element name='" + name + "' type='" + type + "' " + more + "/>";
}

std::vector<std::string> Returned(CXlatrix& xlatrix, const std::string& name) {
    for (const CXlatrix::ParamValue& entry : xlatrix.arrReturnedParamValues) {
        if (entry.strName == name) {
            return entry.arrValues;
        }
    }
    return {};
}

bool ParseFresh(CXlatrix& xlatrix, const char* type, const char* text) {
    xlatrix.arrReturnedParamValues.clear();
    return xlatrix.Parse(type, text);
}

} // namespace xltest
