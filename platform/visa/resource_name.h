// VISA resource names this layer opens, parsed case-insensitively:
//   ASRL<n>[::INSTR]                          serial port n (COM n)
//   ASRL/dev/...::INSTR                       a serial device by path
//   GPIB[board]::<primary>[::<secondary>][::INSTR]
//   TCPIP[board]::<host>::<port>::SOCKET      raw socket; an IPv6 host goes in brackets
//   TCPIP[board]::<host>[::<device>][::INSTR] VXI-11; device "inst<n>" (default inst0),
//                                             "gpib<n>,<primary>[,<secondary>]" or another
//                                             LAN device name of letters, digits, ',', '_', '.'
// Board numbers default to 0. Other VISA classes (INTFC, HiSLIP, USB, ...) are not offered and
// do not parse.
#pragma once

#include <string>
#include <string_view>

#include "visa/visadef.h"

namespace qx::visa {

enum class ResourceKind { Serial, Gpib, TcpSocket, Vxi11 };

struct ResourceName {
    ResourceKind kind = ResourceKind::Serial;
    ViUInt16 board = 0;                  // ASRL<n>: n; GPIB and TCPIP: the board
    std::string path;                    // ASRL by path: the device path, else ""
    ViUInt16 primary = 0;                // GPIB 0..30
    ViUInt16 secondary = VI_NO_SEC_ADDR; // GPIB 0..30 or VI_NO_SEC_ADDR
    std::string host;                    // TCPIP, lower case
    ViUInt16 port = 0;                   // TCPIP SOCKET 1..65535
    std::string device;                  // VXI-11 LAN device name, lower case

    // "ASRL1::INSTR", "ASRL/dev/ttyUSB0::INSTR", "GPIB0::5::INSTR", "GPIB0::5::2::INSTR",
    // "TCPIP0::localhost::5025::SOCKET", "TCPIP0::10.0.0.7::gpib0,5::INSTR".
    std::string canonical() const;
};

// VI_SUCCESS, or VI_ERROR_INV_RSRC_NAME (also for a null text).
ViStatus parseResourceName(const char *text, ResourceName &out);
ViStatus parseResourceName(std::string_view text, ResourceName &out);

} // namespace qx::visa
