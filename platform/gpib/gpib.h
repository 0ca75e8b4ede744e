// The NI-488.2 calls the front panel's GPIB reachability probe needs: open a device descriptor,
// write to it, release it, and read the calling thread's status word and error code.
//
// Contract
// - A device attached in the in-process registry ("GPIB<board>::<pad>::INSTR") is found first;
//   otherwise the calls go to linux-gpib (libgpib.so.0, or $QX_GPIB_LIBRARY), loaded on first
//   use. With neither, ibdev fails with ERR and EDVR: there is no GPIB driver on this machine.
// - ibdev returns a descriptor >= 0, or -1 with ERR in ibsta(); the other calls return ibsta.
//   Descriptors are this layer's own, never reused; a bad one gives ERR and EDVR.
// - A write to an in-process device that is no longer there (its line closed) fails with ENOL:
//   nobody listens at that address.
// - ibsta()/iberr()/ibcntl() describe the last call of this layer on the calling thread.
// - No call throws.
#pragma once

#include "visa/gpib_codes.h"

namespace qx::gpib {

// The status bits, error codes and time-out codes are the I/O layer's.
using namespace visa::gpib;

// boardIndex >= 0; pad 0..30; sad 0 (none) or 0x60..0x7E; tmo 0..17 (T*); eot nonzero asserts
// EOI with the last byte written; eos as ibeos (ignored by in-process devices).
int ibdev(int boardIndex, int pad, int sad, int tmo, int eot, int eos) noexcept;
int ibwrt(int ud, const void *buffer, long count) noexcept;
// online 0 releases the descriptor; 1 keeps it (and resets it on linux-gpib).
int ibonl(int ud, int online) noexcept;

int ibsta() noexcept;
int iberr() noexcept;
long ibcntl() noexcept;

// The operator's text for an iberr code; "No error." for codes without one.
struct GpibErrorText {
    int code;
    const char *name;
    const char *text;
};

inline constexpr GpibErrorText kGpibErrorTexts[] = {
    {EDVR, "EDVR", "Operating System error."},
    {ECIC, "ECIC", "Function required GPIB board to be CIC."},
    {ENOL, "ENOL", "No listeners on the GPIB."},
    {EADR, "EADR", "GPIB board not addressed correctly."},
    {EARG, "EARG", "Invalid argument to function call."},
    {ESAC, "ESAC", "GPIB board not System Controller as required."},
    {EABO, "EABO", "I/O operation aborted (timeout)."},
    {ENEB, "ENEB", "Nonexistent GPIB board."},
    {EDMA, "EDMA", "DMA error."},
    {EOIP, "EOIP", "Asynchronous I/O in progress."},
    {ECAP, "ECAP", "No capability for operation."},
    {EFSO, "EFSO", "File system error."},
    {EBUS, "EBUS", "GPIB bus error."},
    {ESTB, "ESTB", "Serial Poll status byte queue overflow."},
    {ESRQ, "ESRQ", "SRQ stuck in ON position."},
    {ETAB, "ETAB", "Table problem."},
};

inline constexpr const char *kNoGpibError = "No error.";

const char *gpibErrorText(int iberr) noexcept;

} // namespace qx::gpib
