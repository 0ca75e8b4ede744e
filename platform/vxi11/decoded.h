// A value XDR decodes into, with its heap parts (strings, opaque data) freed when it goes out of
// scope, whether the decoding succeeded or not.
#pragma once

#include "vxi11/rpc_message.h"

namespace qx::vxi11 {

template <class T> struct Decoded {
    explicit Decoded(bool_t (*routine)(XDR *, T *)) : proc(xdrProc(routine)) {}
    ~Decoded() { xdr_free(proc, reinterpret_cast<char *>(&value)); }
    Decoded(const Decoded &) = delete;
    Decoded &operator=(const Decoded &) = delete;
    xdrproc_t proc;
    T value{};
};

} // namespace qx::vxi11
