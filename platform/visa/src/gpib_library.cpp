#include "visa/gpib_library.h"

#include <cstdlib>
#include <cstring>

#include <dlfcn.h>

namespace qx::visa {
namespace {

struct TimeoutCode {
    int code;
    unsigned long long microseconds;
};

constexpr TimeoutCode timeoutCodes[] = {
    {1, 10},           {2, 30},           {3, 100},           {4, 300},           {5, 1000},
    {6, 3000},         {7, 10000},        {8, 30000},         {9, 100000},        {10, 300000},
    {11, 1000000},     {12, 3000000},     {13, 10000000},     {14, 30000000},     {15, 100000000},
    {16, 300000000},   {17, 1000000000},
};

struct ErrorStatus {
    int iberr;
    ViStatus status;
};

constexpr ErrorStatus errorStatuses[] = {
    {gpib::ENOL, VI_ERROR_NLISTENERS},
    {gpib::EABO, VI_ERROR_TMO},
    {gpib::ENEB, VI_ERROR_INTF_NUM_NCONFIG},
};

template <class F>
F symbol(void *handle, const char *name)
{
    return reinterpret_cast<F>(::dlsym(handle, name));
}

} // namespace

std::unique_ptr<GpibLibrary> GpibLibrary::load(const std::string &path)
{
    try {
        void *handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return nullptr;
        std::unique_ptr<GpibLibrary> lib(new GpibLibrary);
        lib->handle_ = handle;
        lib->ibdev_ = symbol<decltype(lib->ibdev_)>(handle, "ibdev");
        lib->ibwrt_ = symbol<decltype(lib->ibwrt_)>(handle, "ibwrt");
        lib->ibrd_ = symbol<decltype(lib->ibrd_)>(handle, "ibrd");
        lib->ibclr_ = symbol<decltype(lib->ibclr_)>(handle, "ibclr");
        lib->ibtmo_ = symbol<decltype(lib->ibtmo_)>(handle, "ibtmo");
        lib->ibonl_ = symbol<decltype(lib->ibonl_)>(handle, "ibonl");
        lib->ibeot_ = symbol<decltype(lib->ibeot_)>(handle, "ibeot");
        lib->ibeos_ = symbol<decltype(lib->ibeos_)>(handle, "ibeos");
        lib->threadIbsta_ = symbol<decltype(lib->threadIbsta_)>(handle, "ThreadIbsta");
        lib->threadIberr_ = symbol<decltype(lib->threadIberr_)>(handle, "ThreadIberr");
        lib->threadIbcntl_ = symbol<decltype(lib->threadIbcntl_)>(handle, "ThreadIbcntl");
        lib->ibstaGlobal_ = static_cast<volatile int *>(::dlsym(handle, "ibsta"));
        lib->iberrGlobal_ = static_cast<volatile int *>(::dlsym(handle, "iberr"));
        lib->ibcntlGlobal_ = static_cast<volatile long *>(::dlsym(handle, "ibcntl"));
        const bool calls = lib->ibdev_ && lib->ibwrt_ && lib->ibrd_ && lib->ibclr_ && lib->ibtmo_ && lib->ibonl_;
        const bool status = (lib->threadIbsta_ || lib->ibstaGlobal_) && (lib->threadIberr_ || lib->iberrGlobal_) &&
                            (lib->threadIbcntl_ || lib->ibcntlGlobal_);
        if (!calls || !status)
            return nullptr; // the destructor unloads it
        return lib;
    } catch (...) {
        return nullptr;
    }
}

namespace {

std::string sharedPath()
{
    const char *override = std::getenv("QX_GPIB_LIBRARY");
    return override && *override ? override : "libgpib.so.0";
}

} // namespace

const GpibLibrary *GpibLibrary::shared()
{
    // Never unloaded: sessions still open while the program exits call ibonl from their
    // destructors, which may run after this function's statics are gone.
    static const GpibLibrary *const library = load(sharedPath()).release();
    return library;
}

std::string GpibLibrary::sharedProblem()
{
    if (shared())
        return {};
    const std::string path = sharedPath();
    // Loaded again only to tell why: a file that is not there, or one that is no linux-gpib.
    void *handle = ::dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (!handle) {
        const char *why = ::dlerror();
        if (why == nullptr || std::strstr(why, "No such file") != nullptr)
            return "linux-gpib's " + path + " is not installed";
        return path + " cannot be loaded: " + why;
    }
    ::dlclose(handle);
    return path + " is no linux-gpib library";
}

GpibLibrary::~GpibLibrary()
{
    if (handle_)
        ::dlclose(handle_);
}

int GpibLibrary::ibdev(int board, int pad, int sad, int timeout, int sendEoi, int eos) const
{
    return ibdev_(board, pad, sad, timeout, sendEoi, eos);
}
int GpibLibrary::ibwrt(int ud, const void *buffer, long count) const { return ibwrt_(ud, buffer, count); }
int GpibLibrary::ibrd(int ud, void *buffer, long count) const { return ibrd_(ud, buffer, count); }
int GpibLibrary::ibclr(int ud) const { return ibclr_(ud); }
int GpibLibrary::ibtmo(int ud, int timeout) const { return ibtmo_(ud, timeout); }
int GpibLibrary::ibonl(int ud, int online) const { return ibonl_(ud, online); }
int GpibLibrary::ibeot(int ud, int sendEoi) const { return ibeot_ ? ibeot_(ud, sendEoi) : 0; }
int GpibLibrary::ibeos(int ud, int eos) const { return ibeos_ ? ibeos_(ud, eos) : 0; }

int GpibLibrary::ibsta() const { return threadIbsta_ ? threadIbsta_() : *ibstaGlobal_; }
int GpibLibrary::iberr() const { return threadIberr_ ? threadIberr_() : *iberrGlobal_; }
long GpibLibrary::ibcntl() const { return threadIbcntl_ ? threadIbcntl_() : *ibcntlGlobal_; }

int gpibTimeoutCode(ViUInt32 timeoutMs)
{
    if (timeoutMs == VI_TMO_INFINITE)
        return gpib::TNONE;
    const unsigned long long wanted = static_cast<unsigned long long>(timeoutMs) * 1000ULL;
    for (const TimeoutCode &t : timeoutCodes)
        if (t.microseconds >= wanted)
            return t.code;
    return gpib::T1000s;
}

ViStatus gpibStatus(int ibsta, int iberr)
{
    if (!(ibsta & gpib::ERR))
        return VI_SUCCESS;
    if (ibsta & gpib::TIMO)
        return VI_ERROR_TMO;
    for (const ErrorStatus &e : errorStatuses)
        if (e.iberr == iberr)
            return e.status;
    return VI_ERROR_IO;
}

} // namespace qx::visa
