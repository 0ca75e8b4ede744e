// qxctl discover: the instruments on the LAN, found by VXI-11 broadcast and mDNS.
#pragma once

namespace qx::ctl {

// Looks for `timeoutSeconds` and prints one instrument a line (its resource strings, then its
// model and serial number, "-" where unknown; tab-separated), or one JSON array. What could not be
// asked goes to stderr. Exit status 0, also when nothing was found.
int runDiscoverCommand(double timeoutSeconds, bool json);

} // namespace qx::ctl
