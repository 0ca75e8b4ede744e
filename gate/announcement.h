// What qxgate announces on mDNS/DNS-SD: for each served device one service-instance name,
// "<Model> <Serial> on <host>" (the device name in brackets where two devices are one instrument;
// "<device> on <host>" when the instrument did not say what it is), with
//   _scpi-raw._tcp on its raw socket port (when it has one),
//   _vxi-11._tcp   on the portmapper's port (111), the device name in a vendor key,
//   _lxi._tcp and _http._tcp on the web face's port (with --http);
// TXT txtvers=1 first, then Manufacturer, Model, SerialNumber, FirmwareVersion (from *IDN?), or
// path=/ for _http._tcp. Doors that listen on loopback only are not announced: no other host could
// reach them.
#pragma once

#include "served_instrument.h"

#include "discovery/dns_sd.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qx::discovery {
class DnsSdPublisher;
}

namespace qx::gate {

std::vector<discovery::DnsSdInstance> announcements(const std::vector<ServedInstrument> &instruments,
                                                    const Options &options, const std::string &host);

// Publishes the announcements through Avahi until the result is destroyed; none (and a line in the
// log saying why) when there is nothing another host could reach.
std::unique_ptr<discovery::DnsSdPublisher> announce(const std::vector<ServedInstrument> &instruments,
                                                    const Options &options,
                                                    const std::function<void(const std::string &)> &log);

} // namespace qx::gate
