// linux-gpib's libgpib.so.0, loaded with dlopen on first use, so that the program runs (and reports
// VI_ERROR_LIBRARY_NFOUND for GPIB) on machines without it. Used by GPIB sessions and by the GPIB
// reachability probe.
//
// The calls keep linux-gpib's own signatures and return values (ibsta, or a descriptor for ibdev);
// the status of the calling thread comes from ibsta()/iberr()/ibcntl(), which use ThreadIbsta and
// friends when the library has them, else its process-wide globals.
#pragma once

#include <memory>
#include <string>

#include "visa/gpib_codes.h"
#include "visa/visadef.h"

namespace qx::visa {

class GpibLibrary {
public:
    // Loads the library file at `path`. Null when it cannot be loaded or lacks one of ibdev, ibwrt,
    // ibrd, ibclr, ibtmo, ibonl or a way to read ibsta/iberr/ibcntl.
    static std::unique_ptr<GpibLibrary> load(const std::string &path);
    // The process-wide library, loaded once on first use from $QX_GPIB_LIBRARY if set, else from
    // "libgpib.so.0". Null when absent (VI_ERROR_LIBRARY_NFOUND).
    static const GpibLibrary *shared();
    // Why shared() is null, naming the file: "linux-gpib's libgpib.so.0 is not installed"; "" when
    // it is not.
    static std::string sharedProblem();

    ~GpibLibrary();
    GpibLibrary(const GpibLibrary &) = delete;
    GpibLibrary &operator=(const GpibLibrary &) = delete;

    int ibdev(int board, int pad, int sad, int timeout, int sendEoi, int eos) const;
    int ibwrt(int ud, const void *buffer, long count) const;
    int ibrd(int ud, void *buffer, long count) const;
    int ibclr(int ud) const;
    int ibtmo(int ud, int timeout) const;
    int ibonl(int ud, int online) const;
    // Optional in the library; without them EOI is always sent and reads ignore EOS.
    bool hasIbeot() const { return ibeot_ != nullptr; }
    bool hasIbeos() const { return ibeos_ != nullptr; }
    int ibeot(int ud, int sendEoi) const;
    int ibeos(int ud, int eos) const;

    int ibsta() const;
    int iberr() const;
    long ibcntl() const;

private:
    GpibLibrary() = default;
    void *handle_ = nullptr;
    int (*ibdev_)(int, int, int, int, int, int) = nullptr;
    int (*ibwrt_)(int, const void *, long) = nullptr;
    int (*ibrd_)(int, void *, long) = nullptr;
    int (*ibclr_)(int) = nullptr;
    int (*ibtmo_)(int, int) = nullptr;
    int (*ibonl_)(int, int) = nullptr;
    int (*ibeot_)(int, int) = nullptr;
    int (*ibeos_)(int, int) = nullptr;
    int (*threadIbsta_)() = nullptr;
    int (*threadIberr_)() = nullptr;
    long (*threadIbcntl_)() = nullptr;
    volatile int *ibstaGlobal_ = nullptr;
    volatile int *iberrGlobal_ = nullptr;
    volatile long *ibcntlGlobal_ = nullptr;
};

// The shortest ibtmo code not shorter than the VISA time-out: T10us for 0 ms, T3s for 2000 ms,
// TNONE for VI_TMO_INFINITE, T1000s for anything longer than 1000 s.
int gpibTimeoutCode(ViUInt32 timeoutMs);

// The VISA status for a linux-gpib call result: VI_SUCCESS without ERR; VI_ERROR_TMO for TIMO or
// EABO, VI_ERROR_NLISTENERS for ENOL, VI_ERROR_INTF_NUM_NCONFIG for ENEB, else VI_ERROR_IO.
ViStatus gpibStatus(int ibsta, int iberr);

} // namespace qx::visa
