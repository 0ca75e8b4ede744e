// DNS-SD over mDNS as LAN instruments use it: the service types, the TXT keys, and the limits of
// names and records. Shared by the publisher (qxgate) and the browser (qxctl discover).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qx::discovery {

namespace service {
inline constexpr char kLxi[] = "_lxi._tcp";
inline constexpr char kHttp[] = "_http._tcp";
inline constexpr char kVxi11[] = "_vxi-11._tcp";
inline constexpr char kScpiRaw[] = "_scpi-raw._tcp";
} // namespace service

// TXT keys; clients compare them without regard to case.
namespace txt {
inline constexpr char kVersion[] = "txtvers"; // always first
inline constexpr char kManufacturer[] = "Manufacturer";
inline constexpr char kModel[] = "Model";
inline constexpr char kSerialNumber[] = "SerialNumber";
inline constexpr char kFirmwareVersion[] = "FirmwareVersion";
inline constexpr char kPath[] = "path";
// The VXI-11 device name a _vxi-11._tcp service leads to ("gpib0,5"). No common key carries it, and
// without it a client can only guess inst0, which a gateway's GPIB devices are not. Vendor keys
// are named like domains.
inline constexpr char kVxi11Device[] = "device.qxseries.example.invalid";
} // namespace txt

inline constexpr std::uint16_t kPortmapperPort = 111; // where _vxi-11._tcp points
inline constexpr std::size_t kLongestInstanceName = 63; // one DNS label
inline constexpr std::size_t kLongestTxtPair = 255;
inline constexpr std::size_t kLongestTxtRecord = 512;

struct DnsSdService {
    std::string type;             // e.g. "_scpi-raw._tcp"
    std::uint16_t port = 0;
    std::vector<std::string> txt; // "key=value", in the order published
};

// The services of one instrument, all under one service-instance name.
struct DnsSdInstance {
    std::string name;
    std::vector<DnsSdService> services;
};

// `text` cut to at most `bytes` bytes, never inside a UTF-8 character.
std::string cutUtf8(const std::string &text, std::size_t bytes);

} // namespace qx::discovery
