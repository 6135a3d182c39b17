// WriteAdapter: adapter files of the tests' own.
#include "inline_adapter.h"

#include "platform/base/text.h"
#include "tests/support/test_env.h"

#include <fstream>

namespace plugmartest {

namespace {

constexpr const char* kTypes = R"(
  <types>
    <xsd:schema xmlns:xsd="http://www.w3.org/2001/XMLSchema" xmlns:vra="urn:vornic:adapter-annotations">
      <xsd:complexType name="msg_Measure">
        <xsd:sequence>
          <xsd:element name="_k1" type="xsd:string" fixed="MEAS "/>
          <xsd:element name="range" type="xsd:double"/>
          <xsd:element name="_k2" type="xsd:string" fixed=","/>
          <xsd:element name="resolution" type="xsd:double"/>
          <xsd:element name="_t" type="xsd:string" fixed="&#10;"/>
        </xsd:sequence>
      </xsd:complexType>
      <xsd:complexType name="msg_Query">
        <xsd:sequence>
          <xsd:element name="_k1" type="xsd:string" fixed="VAL?"/>
          <xsd:element name="_t" type="xsd:string" fixed="&#10;"/>
        </xsd:sequence>
      </xsd:complexType>
      <xsd:complexType name="msg_Value">
        <xsd:sequence>
          <xsd:element name="value" type="xsd:double"/>
          <xsd:element name="_t" type="xsd:string" fixed="&#10;"/>
        </xsd:sequence>
      </xsd:complexType>
      <xsd:complexType name="msg_Values">
        <xsd:sequence>
          <xsd:element name="value" type="xsd:double"/>
          <xsd:sequence minOccurs="0" maxOccurs="unbounded">
            <xsd:element name="_k1" type="xsd:string" fixed=","/>
            <xsd:element name="value" type="xsd:double"/>
          </xsd:sequence>
          <xsd:element name="_t" type="xsd:string" fixed="&#10;"/>
        </xsd:sequence>
      </xsd:complexType>
      <xsd:complexType name="msg_State">
        <xsd:sequence>
          <xsd:element name="state">
            <xsd:simpleType>
              <xsd:restriction base="xsd:int">
                <xsd:enumeration value="1" vra:substitution="ON"/>
                <xsd:enumeration value="0" vra:substitution="OFF"/>
              </xsd:restriction>
            </xsd:simpleType>
          </xsd:element>
          <xsd:element name="_t" type="xsd:string" fixed="&#10;"/>
        </xsd:sequence>
      </xsd:complexType>
    </xsd:schema>
  </types>
)";

} // namespace

std::u16string WriteAdapter(const std::string& fileName, const std::string& device,
                            const std::string& attributes, const std::string& commands) {
    const std::string path = vrtest::MakeFreshFolder("adapter") + "/" + fileName;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "<?xml version=\"1.0\"?>\n<definitions xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
           "xmlns:vrt=\"urn:vornic:object-attributes\">\n"
        << device
        << "\n<attributes><xsd:schema xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
           "xmlns:vrt=\"urn:vornic:object-attributes\">"
        << attributes << "</xsd:schema></attributes>" << kTypes << commands << "\n</definitions>\n";
    return vr::FromUtf8(path);
}

} // namespace plugmartest
