// Schemas of the kinds the system reads: a device adapter's message types and an attribute-collection
// resource.
#pragma once

namespace vr::xml::testing {

// Message types as the studio writes them, with annotations in the adapter namespace.
inline constexpr char16_t kDeviceSchema[] = uR"(<xsd:schema xmlns:xsd="http://www.w3.org/2001/XMLSchema"
    xmlns:vra="urn:vornic:adapter-annotations" xmlns:vrt="urn:vornic:object-attributes"
    xmlns:dev="urn:vornic:dev:psu" targetNamespace="urn:vornic:dev:psu" elementFormDefault="qualified" version="1.2">
  <xsd:simpleType name="Voltage">
    <xsd:restriction base="xsd:double">
      <xsd:minInclusive value="0.0"/>
      <xsd:maxInclusive value="30.0"/>
    </xsd:restriction>
  </xsd:simpleType>
  <xsd:simpleType name="LowVoltage">
    <xsd:restriction base="dev:Voltage">
      <xsd:maxInclusive value="5.0"/>
    </xsd:restriction>
  </xsd:simpleType>
  <xsd:simpleType name="Switch">
    <xsd:restriction base="xsd:string">
      <xsd:enumeration value="1" vra:substitution="ON"/>
      <xsd:enumeration value="0" vra:substitution="OFF"/>
    </xsd:restriction>
  </xsd:simpleType>
  <xsd:simpleType name="Gap">
    <xsd:restriction base="xsd:string">
      <xsd:pattern value="[^\r\n]*&#13;&#10;"/>
    </xsd:restriction>
  </xsd:simpleType>
  <xsd:simpleType name="Channels">
    <xsd:list itemType="xsd:int"/>
  </xsd:simpleType>
  <xsd:simpleType name="Level">
    <xsd:union memberTypes="dev:LowVoltage">
      <xsd:simpleType><xsd:restriction base="xsd:string"><xsd:enumeration value="MAX"/></xsd:restriction></xsd:simpleType>
    </xsd:union>
  </xsd:simpleType>
  <xsd:complexType name="SetVolt">
    <xsd:sequence>
      <xsd:element name="_strKey1" type="xsd:string" fixed="VOLT "/>
      <xsd:element name="value1" type="dev:Voltage" vra:format="%.3f" vra:units="V"/>
      <xsd:element name="_strTermString" type="xsd:string" fixed="&#10;"/>
    </xsd:sequence>
  </xsd:complexType>
  <xsd:complexType name="MeasResponse">
    <xsd:sequence>
      <xsd:element name="value1" type="xsd:decimal" vra:parsing="LongestValue" vra:base="10"/>
      <xsd:sequence minOccurs="0" maxOccurs="unbounded">
        <xsd:element name="_strGap1" type="dev:Gap"/>
        <xsd:element ref="dev:status" minOccurs="0"/>
      </xsd:sequence>
      <xsd:choice>
        <xsd:element name="a" type="xsd:int" default="7"/>
        <xsd:any namespace="##other" processContents="lax"/>
      </xsd:choice>
    </xsd:sequence>
    <xsd:attribute name="id" type="xsd:int" use="required"/>
  </xsd:complexType>
  <xsd:complexType name="Extended">
    <xsd:complexContent>
      <xsd:extension base="dev:SetVolt">
        <xsd:sequence><xsd:element name="extra" type="xsd:string"/></xsd:sequence>
        <xsd:attribute name="more" type="xsd:string"/>
      </xsd:extension>
    </xsd:complexContent>
  </xsd:complexType>
  <xsd:complexType name="Reading">
    <xsd:simpleContent>
      <xsd:extension base="xsd:decimal"><xsd:attribute name="unit" type="xsd:string" default="V"/></xsd:extension>
    </xsd:simpleContent>
  </xsd:complexType>
  <xsd:complexType name="Nothing"/>
  <xsd:complexType name="Mixed" mixed="true">
    <xsd:sequence><xsd:element name="b" type="xsd:string" minOccurs="0"/></xsd:sequence>
  </xsd:complexType>
  <xsd:group name="pair">
    <xsd:sequence>
      <xsd:element name="first" type="xsd:int"/>
      <xsd:element name="second" type="xsd:int"/>
    </xsd:sequence>
  </xsd:group>
  <xsd:complexType name="WithGroup">
    <xsd:sequence><xsd:group ref="dev:pair" maxOccurs="3"/></xsd:sequence>
  </xsd:complexType>
  <xsd:element name="status" type="dev:Switch" vrt:numid="0x10"/>
  <xsd:element name="psu">
    <xsd:complexType>
      <xsd:sequence>
        <xsd:element name="set" type="dev:SetVolt"/>
        <xsd:element name="reading" type="dev:Reading" minOccurs="0" maxOccurs="unbounded"/>
      </xsd:sequence>
      <xsd:attribute name="id" type="xsd:int"/>
    </xsd:complexType>
  </xsd:element>
</xsd:schema>)";

// An attribute resource with one scope, as a server embeds it.
inline constexpr char16_t kAttributeResource[] = uR"(<attributes xmlns:xsd="http://www.w3.org/2001/XMLSchema"
    xmlns:vrt="urn:vornic:object-attributes">
  <serial>
    <xsd:schema targetNamespace="urn:vornic:attributes">
      <xsd:element name="Timeout" type="xsd:int" default="2000" vrt:numid="0x3FFF001A" vrt:class="Local"/>
      <xsd:element name="BaudRate" default="9600" vrt:numid="0x3FFF0021" vrt:class="Global">
        <xsd:simpleType>
          <xsd:restriction base="xsd:int">
            <xsd:enumeration value="300"/><xsd:enumeration value="9600"/><xsd:enumeration value="115200"/>
          </xsd:restriction>
        </xsd:simpleType>
      </xsd:element>
      <xsd:element name="StopBits" default="ASRL_STOP_ONE" vrt:NUMID="0x3FFF0024" vrt:class="Global">
        <xsd:simpleType>
          <xsd:restriction base="xsd:string">
            <xsd:enumeration value="ASRL_STOP_ONE" vrt:index="10"/>
            <xsd:enumeration value="ASRL_STOP_ONE5" vrt:index="15"/>
            <xsd:enumeration value="ASRL_STOP_TWO" vrt:index="20"/>
          </xsd:restriction>
        </xsd:simpleType>
      </xsd:element>
    </xsd:schema>
    <aliases><alias name="Speed" value="BaudRate"/></aliases>
  </serial>
</attributes>)";

} // namespace vr::xml::testing
