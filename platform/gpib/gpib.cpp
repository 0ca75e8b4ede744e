// Descriptors of the probe calls: each names either an in-process device or a descriptor of
// linux-gpib, so both kinds live side by side without their numbers colliding.
#include "gpib/gpib.h"

#include "visa/device.h"
#include "visa/gpib_library.h"

#include <climits>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace qx::gpib {
namespace {

constexpr int kMaxPad = 30;
constexpr int kMinSad = 0x60;
constexpr int kMaxSad = 0x7E;

struct ThreadStatus {
    int ibsta = 0;
    int iberr = 0;
    long ibcntl = 0;
};

thread_local ThreadStatus lastCall;

int report(int sta, int err, long count)
{
    lastCall = {sta, err, count};
    return sta;
}

int fail(int err) { return report(ERR, err, 0); }

int fromLibrary(const visa::GpibLibrary &library)
{
    return report(library.ibsta(), library.iberr(), library.ibcntl());
}

struct Descriptor {
    std::shared_ptr<visa::Device> device; // an in-process device, or
    int libraryUd = -1;                   // a linux-gpib descriptor
    bool sendEnd = true;
};

class DescriptorTable {
public:
    int add(Descriptor d)
    {
        std::lock_guard lock(mutex_);
        if (next_ == INT_MAX)
            return -1;
        const int ud = next_++;
        table_.emplace(ud, std::move(d));
        return ud;
    }
    bool find(int ud, Descriptor &d) const
    {
        std::lock_guard lock(mutex_);
        const auto found = table_.find(ud);
        if (found == table_.end())
            return false;
        d = found->second;
        return true;
    }
    void remove(int ud)
    {
        std::lock_guard lock(mutex_);
        table_.erase(ud);
    }

private:
    mutable std::mutex mutex_;
    std::map<int, Descriptor> table_;
    int next_ = 1;
};

DescriptorTable &descriptors()
{
    static DescriptorTable table;
    return table;
}

std::string resourceName(int board, int pad, int sad)
{
    std::string name = "GPIB" + std::to_string(board) + "::" + std::to_string(pad);
    if (sad != 0)
        name += "::" + std::to_string(sad - kMinSad);
    return name + "::INSTR";
}

bool validAddress(int board, int pad, int sad, int tmo)
{
    return board >= 0 && pad >= 0 && pad <= kMaxPad && (sad == 0 || (sad >= kMinSad && sad <= kMaxSad)) &&
           tmo >= 0 && tmo <= T1000s;
}

int openDevice(int board, int pad, int sad, int tmo, int eot, int eos)
{
    if (!validAddress(board, pad, sad, tmo)) {
        fail(EARG);
        return -1;
    }
    if (auto device = visa::findDevice(resourceName(board, pad, sad))) {
        const int ud = descriptors().add({std::move(device), -1, eot != 0});
        if (ud < 0) {
            fail(ETAB);
            return -1;
        }
        report(CMPL, 0, 0);
        return ud;
    }
    const visa::GpibLibrary *library = visa::GpibLibrary::shared();
    if (library == nullptr) {
        fail(EDVR); // no GPIB driver installed
        return -1;
    }
    const int libraryUd = library->ibdev(board, pad, sad, tmo, eot, eos);
    fromLibrary(*library);
    if (libraryUd < 0)
        return -1;
    const int ud = descriptors().add({nullptr, libraryUd, eot != 0});
    if (ud < 0) {
        library->ibonl(libraryUd, 0);
        fail(ETAB);
        return -1;
    }
    return ud;
}

int write(int ud, const void *buffer, long count)
{
    Descriptor d;
    if (!descriptors().find(ud, d))
        return fail(EDVR);
    if (count < 0 || (buffer == nullptr && count > 0))
        return fail(EARG);
    if (d.device) {
        const std::string_view bytes(static_cast<const char *>(buffer), static_cast<std::size_t>(count));
        if (!d.device->write(bytes, d.sendEnd))
            return fail(ENOL);
        return report(CMPL, 0, count);
    }
    const visa::GpibLibrary *library = visa::GpibLibrary::shared();
    if (library == nullptr)
        return fail(EDVR);
    library->ibwrt(d.libraryUd, buffer, count);
    return fromLibrary(*library);
}

int online(int ud, int on)
{
    Descriptor d;
    if (!descriptors().find(ud, d))
        return fail(EDVR);
    if (on == 0)
        descriptors().remove(ud);
    if (d.device)
        return report(CMPL, 0, 0);
    const visa::GpibLibrary *library = visa::GpibLibrary::shared();
    if (library == nullptr)
        return fail(EDVR);
    library->ibonl(d.libraryUd, on);
    return fromLibrary(*library);
}

template <class Call> int guarded(Call &&call, int failure) noexcept
{
    try {
        return call();
    } catch (...) {
        fail(EDVR);
        return failure;
    }
}

} // namespace

int ibdev(int boardIndex, int pad, int sad, int tmo, int eot, int eos) noexcept
{
    return guarded([&] { return openDevice(boardIndex, pad, sad, tmo, eot, eos); }, -1);
}

int ibwrt(int ud, const void *buffer, long count) noexcept
{
    return guarded([&] { return write(ud, buffer, count); }, ERR);
}

int ibonl(int ud, int onlineState) noexcept
{
    return guarded([&] { return online(ud, onlineState); }, ERR);
}

int ibsta() noexcept { return lastCall.ibsta; }
int iberr() noexcept { return lastCall.iberr; }
long ibcntl() noexcept { return lastCall.ibcntl; }

} // namespace qx::gpib
