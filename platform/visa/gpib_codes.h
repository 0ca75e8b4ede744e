// linux-gpib's (and NI-488.2's) status bits, error codes and time-out codes: one set, shared by
// the GPIB sessions of this layer and by the reachability probe of platform/gpib.
#pragma once

namespace qx::visa::gpib {

// ibsta bits
inline constexpr int ERR = 0x8000;
inline constexpr int TIMO = 0x4000;
inline constexpr int END = 0x2000;
inline constexpr int CMPL = 0x0100;

// iberr codes
inline constexpr int EDVR = 0;
inline constexpr int ECIC = 1;
inline constexpr int ENOL = 2;
inline constexpr int EADR = 3;
inline constexpr int EARG = 4;
inline constexpr int ESAC = 5;
inline constexpr int EABO = 6;
inline constexpr int ENEB = 7;
inline constexpr int EDMA = 8;
inline constexpr int EOIP = 10;
inline constexpr int ECAP = 11;
inline constexpr int EFSO = 12;
inline constexpr int EBUS = 14;
inline constexpr int ESTB = 15;
inline constexpr int ESRQ = 16;
inline constexpr int ETAB = 20;

// ibeos flags
inline constexpr int REOS = 0x0400;
inline constexpr int BIN = 0x1000;

// ibtmo / ibdev time-out codes
inline constexpr int TNONE = 0;
inline constexpr int T10s = 13;
inline constexpr int T1000s = 17;

} // namespace qx::visa::gpib
