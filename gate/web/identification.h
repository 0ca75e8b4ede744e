// The identification document of /lxi/identification (the instrument-identification schema 2.0,
// elements in its order) and the schema document it points at, served by the gateway itself.
#pragma once

#include <string>
#include <vector>

namespace qx::gate::web {

inline constexpr char kIdentificationNamespace[] = "http://lxistandard.org/schemas/InstrumentIdentification/2.0";

struct IdentificationDoc {
    std::string manufacturer, model, serialNumber, firmwareRevision; // required, "" allowed
    std::string manufacturerDescription;                             // left out when ""
    std::vector<std::string> deviceUris;                             // ConnectedDevices: a gateway's instruments
    std::string userDescription;                                     // left out when ""
    std::string identificationUrl;                                   // this document's own URL
    std::string schemaUrl;                                           // where the schema is served (absolute)
    // The one Interface element
    std::string interfaceName;               // "eth0"; left out when ""
    std::vector<std::string> addressStrings; // VISA resource strings
    std::string hostname, ipAddress, subnetMask, macAddress;
};

std::string identificationXml(const IdentificationDoc &doc);

// The XSD, written from the schema's element list; LXIVersion is required there and stays empty here.
const std::string &identificationSchema();

} // namespace qx::gate::web
