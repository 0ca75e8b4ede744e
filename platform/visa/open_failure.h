// Why the calling thread's last viOpen failed, in words that name what it tried to open:
// "/dev/ttyS8: No such file or directory", "linux-gpib's libgpib.so.0 is not installed". The status
// code of viOpen says only what kind of failure it was, and the resource name hides the device.
#pragma once

#include <string>

namespace qx::visa {

// "" after a viOpen that succeeded, or whose failure the code says all about.
std::string lastOpenFailure();

// For the transports: the words for the open under way (viOpen clears them first).
void noteOpenFailure(std::string words);

} // namespace qx::visa
