// GPIB INSTR sessions through linux-gpib. The bus does its own time-outs (ibtmo) and ends
// messages with EOI.
#include <climits>
#include <string>

#include "transport.h"
#include "visa/gpib_library.h"
#include "visa/open_failure.h"

namespace qx::visa {
namespace {

constexpr int secondaryOffset = 0x60;
constexpr ViUInt32 defaultTimeoutMs = 2000;

class GpibTransport final : public ChunkedTransport {
public:
    GpibTransport(const GpibLibrary &lib, int ud) : lib_(lib), ud_(ud) {}
    ~GpibTransport() override { close(); }

    ViStatus write(std::string_view bytes, bool end, ViUInt32) override
    {
        if (ud_ < 0)
            return VI_ERROR_CONN_LOST;
        if (lib_.hasIbeot() && end != eoi_) {
            const int sta = lib_.ibeot(ud_, end ? 1 : 0);
            if (const ViStatus status = gpibStatus(sta, lib_.iberr()); status < 0)
                return status;
            eoi_ = end;
        }
        std::size_t done = 0;
        while (done < bytes.size()) {
            const std::size_t part = bytes.size() - done > LONG_MAX ? LONG_MAX : bytes.size() - done;
            const int sta = lib_.ibwrt(ud_, bytes.data() + done, static_cast<long>(part));
            if (const ViStatus status = gpibStatus(sta, lib_.iberr()); status < 0)
                return status;
            const long count = lib_.ibcntl();
            if (count <= 0)
                return VI_ERROR_IO;
            done += static_cast<std::size_t>(count);
        }
        return VI_SUCCESS;
    }

    ViStatus clear(ViUInt32) override
    {
        discardInput();
        if (ud_ < 0)
            return VI_ERROR_CONN_LOST;
        return gpibStatus(lib_.ibclr(ud_), lib_.iberr());
    }

    // The instrument holds a late answer in its output queue until it is addressed to talk; a
    // read would wait for the bus time-out, and a new query would make the instrument report the
    // old one as interrupted. A device clear empties the queue without an error.
    void discardLateInput() override
    {
        discardInput();
        if (ud_ >= 0)
            (void)lib_.ibclr(ud_);
    }

    void close() override
    {
        if (ud_ >= 0)
            (void)lib_.ibonl(ud_, 0);
        ud_ = -1;
    }

    ViStatus setTimeout(ViUInt32 timeoutMs) override
    {
        if (ud_ < 0)
            return VI_ERROR_CONN_LOST;
        return gpibStatus(lib_.ibtmo(ud_, gpibTimeoutCode(timeoutMs)), lib_.iberr());
    }

    ViStatus setTermChar(bool enabled, ViUInt8 termChar) override
    {
        if (ud_ < 0)
            return VI_ERROR_CONN_LOST;
        if (!lib_.hasIbeos())
            return VI_SUCCESS; // reads then stop at EOI only; the session still cuts at the character
        const int eos = enabled ? (gpib::REOS | gpib::BIN | termChar) : 0;
        return gpibStatus(lib_.ibeos(ud_, eos), lib_.iberr());
    }

protected:
    Chunk fetch(std::size_t max, const Deadline &) override
    {
        Chunk chunk;
        if (ud_ < 0) {
            chunk.status = VI_ERROR_CONN_LOST;
            return chunk;
        }
        const std::size_t want = max > 65536 ? 65536 : max;
        chunk.bytes.resize(want);
        const int sta = lib_.ibrd(ud_, chunk.bytes.data(), static_cast<long>(want));
        const int err = lib_.iberr();
        long count = lib_.ibcntl();
        if (count < 0 || static_cast<std::size_t>(count) > want)
            count = 0;
        chunk.bytes.resize(static_cast<std::size_t>(count));
        chunk.status = gpibStatus(sta, err);
        chunk.end = (sta & gpib::END) != 0;
        return chunk;
    }

private:
    const GpibLibrary &lib_;
    int ud_;
    bool eoi_ = true;
};

} // namespace

ViStatus openGpibTransport(const ResourceName &name, ViUInt32, std::unique_ptr<Transport> &out)
{
    const GpibLibrary *lib = GpibLibrary::shared();
    if (!lib) {
        noteOpenFailure(GpibLibrary::sharedProblem());
        return VI_ERROR_LIBRARY_NFOUND;
    }
    const int sad = name.secondary == VI_NO_SEC_ADDR ? 0 : name.secondary + secondaryOffset;
    const int ud = lib->ibdev(name.board, name.primary, sad, gpibTimeoutCode(defaultTimeoutMs), 1, 0);
    if (ud < 0) {
        const int err = lib->iberr();
        // No such board, or the driver is not there: the interface is not configured.
        if (err == gpib::ENEB || err == gpib::EDVR) {
            noteOpenFailure("GPIB" + std::to_string(name.board) +
                            ": no such board, or linux-gpib's driver is not loaded");
            return VI_ERROR_INTF_NUM_NCONFIG;
        }
        const ViStatus status = gpibStatus(lib->ibsta() | gpib::ERR, err);
        return status < 0 ? status : VI_ERROR_IO;
    }
    out = std::make_unique<GpibTransport>(*lib, ud);
    return VI_SUCCESS;
}

} // namespace qx::visa
