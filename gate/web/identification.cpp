#include "identification.h"

#include "markup.h"

namespace qx::gate::web {
namespace {

void element(std::string &out, const char *indent, const char *name, const std::string &text, bool optional = true)
{
    if (optional && text.empty())
        return;
    out += std::string(indent) + "<" + name + ">" + escapeMarkup(text) + "</" + name + ">\n";
}

} // namespace

std::string identificationXml(const IdentificationDoc &doc)
{
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<LXIDevice xmlns=\"";
    out += kIdentificationNamespace;
    out += "\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xsi:schemaLocation=\"";
    out += escapeMarkup(std::string(kIdentificationNamespace) + " " + doc.schemaUrl) + "\">\n";
    element(out, "  ", "Manufacturer", doc.manufacturer, false);
    element(out, "  ", "Model", doc.model, false);
    element(out, "  ", "SerialNumber", doc.serialNumber, false);
    element(out, "  ", "FirmwareRevision", doc.firmwareRevision, false);
    element(out, "  ", "ManufacturerDescription", doc.manufacturerDescription);
    if (!doc.deviceUris.empty()) {
        out += "  <ConnectedDevices>\n";
        for (const std::string &uri : doc.deviceUris)
            element(out, "    ", "DeviceURI", uri);
        out += "  </ConnectedDevices>\n";
    }
    element(out, "  ", "UserDescription", doc.userDescription);
    element(out, "  ", "IdentificationURL", doc.identificationUrl);
    out += "  <Interface InterfaceType=\"LXI\" IPType=\"IPv4\"";
    if (!doc.interfaceName.empty())
        out += " InterfaceName=\"" + escapeMarkup(doc.interfaceName) + "\"";
    out += ">\n";
    for (const std::string &address : doc.addressStrings)
        element(out, "    ", "InstrumentAddressString", address);
    element(out, "    ", "Hostname", doc.hostname);
    element(out, "    ", "IPAddress", doc.ipAddress);
    element(out, "    ", "SubnetMask", doc.subnetMask);
    element(out, "    ", "MACAddress", doc.macAddress);
    out += "  </Interface>\n";
    out += "  <LXIVersion></LXIVersion>\n</LXIDevice>\n";
    return out;
}

const std::string &identificationSchema()
{
    static const std::string schema = std::string(R"(<?xml version="1.0" encoding="UTF-8"?>
<!-- The instrument-identification document, written from the element list of the public schema 2.0. -->
<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:id=")") +
                                      kIdentificationNamespace + R"(" targetNamespace=")" + kIdentificationNamespace +
                                      R"("
           elementFormDefault="qualified" attributeFormDefault="unqualified">
  <xs:element name="LXIDevice" type="id:LXIDeviceType"/>
  <xs:complexType name="LXIDeviceType">
    <xs:sequence>
      <xs:element name="Manufacturer" type="xs:string"/>
      <xs:element name="Model" type="xs:string"/>
      <xs:element name="SerialNumber" type="xs:string"/>
      <xs:element name="FirmwareRevision" type="xs:string"/>
      <xs:element name="ManufacturerDescription" type="xs:string" minOccurs="0"/>
      <xs:element name="HomepageURL" type="xs:anyURI" minOccurs="0"/>
      <xs:element name="DriverURL" type="xs:anyURI" minOccurs="0" maxOccurs="unbounded"/>
      <xs:element name="ConnectedDevices" type="id:ConnectedDevicesType" minOccurs="0"/>
      <xs:element name="UserDescription" type="xs:string" minOccurs="0"/>
      <xs:element name="IdentificationURL" type="xs:anyURI" minOccurs="0"/>
      <xs:element name="Interface" type="id:InterfaceType" minOccurs="0" maxOccurs="unbounded"/>
      <xs:element name="IVISoftwareModuleName" type="id:IVISoftwareModuleNameType" minOccurs="0" maxOccurs="unbounded"/>
      <xs:element name="Subinstruments" type="id:SubinstrumentsType" minOccurs="0"/>
      <xs:element name="Extension" type="id:ExtensionType" minOccurs="0"/>
      <xs:element name="LXIClass" type="xs:string" minOccurs="0"/>
      <xs:element name="Domain" type="xs:string" minOccurs="0"/>
      <xs:element name="LXIVersion" type="xs:string"/>
      <xs:element name="LXIExtendedFunctions" type="id:ExtensionType" minOccurs="0"/>
    </xs:sequence>
  </xs:complexType>
  <xs:complexType name="ConnectedDevicesType">
    <xs:sequence>
      <xs:element name="DeviceURI" type="xs:anyURI" minOccurs="0" maxOccurs="unbounded"/>
    </xs:sequence>
  </xs:complexType>
  <xs:complexType name="InterfaceType">
    <xs:sequence>
      <xs:element name="InstrumentAddressString" type="xs:string" minOccurs="0" maxOccurs="unbounded"/>
      <xs:element name="Hostname" type="xs:string" minOccurs="0"/>
      <xs:element name="IPAddress" type="xs:string" minOccurs="0" maxOccurs="unbounded"/>
      <xs:element name="SubnetMask" type="xs:string" minOccurs="0"/>
      <xs:element name="MACAddress" type="xs:string" minOccurs="0"/>
      <xs:element name="Gateway" type="xs:string" minOccurs="0"/>
      <xs:element name="DHCPEnabled" type="xs:boolean" minOccurs="0"/>
      <xs:element name="AutoIPEnabled" type="xs:boolean" minOccurs="0"/>
    </xs:sequence>
    <xs:attribute name="InterfaceType" type="xs:string" use="required"/>
    <xs:attribute name="InterfaceName" type="xs:string"/>
    <xs:attribute name="IPType">
      <xs:simpleType>
        <xs:restriction base="xs:string">
          <xs:enumeration value="IPv4"/>
          <xs:enumeration value="IPv6"/>
        </xs:restriction>
      </xs:simpleType>
    </xs:attribute>
  </xs:complexType>
  <xs:complexType name="IVISoftwareModuleNameType">
    <xs:simpleContent>
      <xs:extension base="xs:string">
        <xs:attribute name="Comment" type="xs:string"/>
      </xs:extension>
    </xs:simpleContent>
  </xs:complexType>
  <xs:complexType name="SubinstrumentsType">
    <xs:sequence>
      <xs:element name="Subinstrument" type="id:LXIDeviceType" minOccurs="0" maxOccurs="unbounded"/>
    </xs:sequence>
  </xs:complexType>
  <xs:complexType name="ExtensionType">
    <xs:sequence>
      <xs:any namespace="##other" processContents="lax" minOccurs="0" maxOccurs="unbounded"/>
    </xs:sequence>
  </xs:complexType>
</xs:schema>
)";
    return schema;
}

} // namespace qx::gate::web
