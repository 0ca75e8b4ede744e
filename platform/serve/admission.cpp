#include "serve/admission.h"

#include <map>
#include <mutex>

namespace qx::serve {

struct Admission::Counts {
    std::mutex mutex;
    std::size_t total = 0;
    std::map<std::uint32_t, std::size_t> perAddress;
};

Admission::Pass::Pass(Pass &&other) noexcept : counts_(std::move(other.counts_)), peer_(other.peer_) {}

Admission::Pass &Admission::Pass::operator=(Pass &&other) noexcept
{
    if (this != &other) {
        release();
        counts_ = std::move(other.counts_);
        peer_ = other.peer_;
    }
    return *this;
}

void Admission::Pass::release()
{
    if (!counts_)
        return;
    {
        std::lock_guard guard(counts_->mutex);
        --counts_->total;
        if (const auto it = counts_->perAddress.find(peer_); it != counts_->perAddress.end() && --it->second == 0)
            counts_->perAddress.erase(it);
    }
    counts_.reset();
}

Admission::Admission(const AdmissionRules &rules, Log log)
    : rules_(rules), log_(std::move(log)), counts_(std::make_shared<Counts>())
{
}

Admission::Entry Admission::admit(std::uint32_t peer, const std::string &door)
{
    Entry entry;
    entry.access = rules_.access.of(peer);
    const char *why = nullptr;
    if (entry.access == Access::Refused) {
        why = "not an allowed address";
    } else {
        std::lock_guard guard(counts_->mutex);
        const auto it = counts_->perAddress.find(peer);
        const std::size_t fromPeer = it == counts_->perAddress.end() ? 0 : it->second;
        if (counts_->total >= rules_.maxConnections)
            why = "as many clients as allowed";
        else if (fromPeer >= rules_.maxPerAddress)
            why = "as many connections from it as allowed";
        if (why) {
            entry.overCap = true;
        } else {
            ++counts_->total;
            ++counts_->perAddress[peer];
            entry.pass.counts_ = counts_;
            entry.pass.peer_ = peer;
        }
    }
    if (why && log_)
        log_("refused " + addressText(peer) + " on " + door + ": " + why);
    return entry;
}

std::size_t Admission::connections() const
{
    std::lock_guard guard(counts_->mutex);
    return counts_->total;
}

} // namespace qx::serve
