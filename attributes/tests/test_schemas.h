// Attribute schema documents the tests load: every scope form, enumeration, alias and annotation.
#pragma once

namespace tabtest {

// A connection-like document: scope elements with one xsd:schema each, aliases, REGISTRYROOTKEY declared
// after the attributes that read from its key, every annotation in both letter cases, numbers in three bases.
inline constexpr const char* kConnectionSchema = R"(<?xml version="1.0"?>
<attributes>
  <connection>
    <aliases>
      <alias name="Sim" value="Connection:Simulation"/>
      <alias name="Old:Record" value="SimulationFileRecordID"/>
      <alias name="Incomplete"/>
    </aliases>
    <xsd:schema xmlns:xsd="http://www.w3.org/2001/XMLSchema" xmlns:vrt="urn:vornic:object-attributes"
                targetNamespace="urn:vornic:attributes">
      <xsd:element name="Simulation" default="Off" vrt:class="Global" vrt:numid="0x10">
        <xsd:simpleType>
          <xsd:restriction base="xsd:string">
            <xsd:enumeration value="Off"/>
            <xsd:enumeration value="Write"/>
            <xsd:enumeration value="Overwrite"/>
            <xsd:enumeration value="RandomRead"/>
            <xsd:enumeration value="SequentialRead"/>
          </xsd:restriction>
        </xsd:simpleType>
      </xsd:element>
      <xsd:element name="SimulationFile" type="xsd:string" vrt:PERSISTENT="readonly"/>
      <xsd:element name="SimulationFileRecordID" type="xsd:string" default="record" vrt:persistent="WRITEONLY"/>
      <xsd:element name="IOProtocol" type="xsd:string" vrt:persistent="never"/>
      <xsd:element name="EndCharsToSend" type="xsd:string" default="\n" vrt:cache="false" vrt:numid="017"/>
      <xsd:element name="REGISTRYROOTKEY" type="xsd:string" default="Software\Vornic\Tests\Connection"/>
    </xsd:schema>
  </connection>
  <serial>
    <xsd:schema xmlns:xsd="http://www.w3.org/2001/XMLSchema" xmlns:vrt="urn:vornic:object-attributes">
      <xsd:element name="Timeout" type="xsd:int" default="2000" vrt:numid="0x3FFF001A" vrt:class="Local"/>
      <xsd:element name="BaudRate" default="9600" vrt:numid="0x3FFF0021" vrt:class="Global">
        <xsd:simpleType>
          <xsd:restriction base="xsd:int">
            <xsd:enumeration value="300"/><xsd:enumeration value="600"/><xsd:enumeration value="1200"/>
            <xsd:enumeration value="2400"/><xsd:enumeration value="4800"/><xsd:enumeration value="9600"/>
            <xsd:enumeration value="14400"/><xsd:enumeration value="19200"/><xsd:enumeration value="38400"/>
            <xsd:enumeration value="57600"/><xsd:enumeration value="115200"/>
          </xsd:restriction>
        </xsd:simpleType>
      </xsd:element>
      <xsd:element name="DataBits" default="8" vrt:numid="0x3FFF0022" vrt:class="Global">
        <xsd:simpleType>
          <xsd:restriction base="xsd:int">
            <xsd:enumeration value="5"/><xsd:enumeration value="6"/><xsd:enumeration value="7"/>
            <xsd:enumeration value="8"/>
          </xsd:restriction>
        </xsd:simpleType>
      </xsd:element>
      <xsd:element name="Parity" default="ASRL_PAR_NONE" vrt:numid="0x3FFF0023" vrt:class="Global">
        <xsd:simpleType>
          <xsd:restriction base="xsd:string">
            <xsd:enumeration value="ASRL_PAR_NONE" vrt:index="0"/>
            <xsd:enumeration value="ASRL_PAR_ODD" vrt:index="1"/>
            <xsd:enumeration value="ASRL_PAR_EVEN" vrt:index="2"/>
            <xsd:enumeration value="ASRL_PAR_MARK" vrt:index="3"/>
            <xsd:enumeration value="ASRL_PAR_SPACE" vrt:index="4"/>
          </xsd:restriction>
        </xsd:simpleType>
      </xsd:element>
      <xsd:element name="StopBits" default="ASRL_STOP_ONE" vrt:numid="0x3FFF0024" vrt:class="Global">
        <xsd:simpleType>
          <xsd:restriction base="xsd:string">
            <xsd:enumeration value="ASRL_STOP_ONE" vrt:index="10"/>
            <xsd:enumeration value="ASRL_STOP_ONE5" vrt:index="0xF"/>
            <xsd:enumeration value="ASRL_STOP_TWO" vrt:INDEX="024"/>
          </xsd:restriction>
        </xsd:simpleType>
      </xsd:element>
    </xsd:schema>
  </serial>
  <gpib>
    <xsd:schema xmlns:xsd="http://www.w3.org/2001/XMLSchema">
      <xsd:element name="Timeout" type="xsd:int" default="3000"/>
    </xsd:schema>
  </gpib>
  <tcpip>
    <xsd:schema xmlns:xsd="http://www.w3.org/2001/XMLSchema">
      <xsd:element name="Timeout" type="xsd:int" default="5000"/>
    </xsd:schema>
  </tcpip>
</attributes>
)";

// One scope directly under the root: every datatype family, flags off, wrong numbers, an apostrophe and a
// double quote in enumeration texts, a type derived in two steps.
inline constexpr const char* kTypesSchema = R"(<?xml version="1.0"?>
<attributes>
  <xsd:schema xmlns:xsd="http://www.w3.org/2001/XMLSchema" xmlns:vrt="urn:vornic:object-attributes"
              xmlns:other="urn:example:other">
    <xsd:simpleType name="Percent">
      <xsd:restriction base="xsd:double"><xsd:maxInclusive value="100"/></xsd:restriction>
    </xsd:simpleType>
    <xsd:simpleType name="Level">
      <xsd:restriction base="Percent"><xsd:minInclusive value="0"/></xsd:restriction>
    </xsd:simpleType>
    <xsd:element name="Flag" type="xsd:boolean" default="true"/>
    <xsd:element name="Small" type="xsd:byte" default="-5"/>
    <xsd:element name="Octet" type="xsd:unsignedByte" default="200"/>
    <xsd:element name="Short" type="xsd:short" default="-300"/>
    <xsd:element name="Word" type="xsd:unsignedShort" default="60000"/>
    <xsd:element name="Long" type="xsd:long" default="7"/>
    <xsd:element name="Unsigned" type="xsd:unsignedInt" default="4000000000"/>
    <xsd:element name="Ratio" type="xsd:float" default="0.5"/>
    <xsd:element name="Count" type="xsd:positiveInteger" default="12"/>
    <xsd:element name="Amount" type="xsd:decimal" default="1.25"/>
    <xsd:element name="Level" type="Level" default="50"/>
    <xsd:element name="Loose" type="xsd:int" default="1" other:validate="false"/>
    <xsd:element name="Uncached" type="xsd:int" vrt:Cache="no"/>
    <xsd:element name="BadNumber" type="xsd:string" vrt:numid="12abc"/>
    <xsd:element name="Quote" default="it's">
      <xsd:simpleType>
        <xsd:restriction base="xsd:string">
          <xsd:enumeration value="it's" vrt:index="7"/>
          <xsd:enumeration value='say "hi"' vrt:index="8"/>
          <xsd:enumeration value="both ' and &quot;" vrt:index="9"/>
          <xsd:enumeration value="plain" vrt:index="x1"/>
        </xsd:restriction>
      </xsd:simpleType>
    </xsd:element>
  </xsd:schema>
</attributes>
)";

} // namespace tabtest
