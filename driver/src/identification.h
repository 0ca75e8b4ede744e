// The instrument's identification answer ("ZE,7103QX,SN000123,1.02"): reading it raw, and the
// one parser of what the driver takes from it.
#pragma once

#include "visa/visatype.h"

#include <optional>
#include <string_view>

namespace zev {

// The raw answer to "*IDN?", up to 511 bytes, as text.
struct Identity {
    ViChar bytes[512] = {};
    std::string_view text() const;
};

// Asks for the identification and reads the raw answer; over the serial line the answer is given
// 0.05 s first, and `pause` more on either link. Failures are recorded.
ViStatus readIdentity(ViSession vi, ViSession io, double pause, Identity &identity);

// Our instruments' answers begin with the maker "ZE" (letter case significant).
bool fromOurMaker(std::string_view answer);
// The first decimal integer of the answer (7103 from "ZE,7103QX,..."): 0 when it has none.
ViInt32 modelNumber(std::string_view answer);
// After the first "ZE," (any letter case), up to the next comma or the line end; none when the
// answer is from another maker.
std::optional<std::string_view> modelField(std::string_view answer);
// The decimal integer at position 8 of the answer, if one starts there and fits 32 bits.
std::optional<ViInt32> serialId(std::string_view answer);

} // namespace zev
