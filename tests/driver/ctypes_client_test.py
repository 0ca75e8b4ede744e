"""The driver's shared library used from Python through ctypes, as a scripting client would."""
import ctypes
import sys

lib = ctypes.CDLL(sys.argv[1])
ViSession = ctypes.c_uint32
ViStatus = ctypes.c_int32

vi = ViSession(0)
status = lib.ZEV_QX70_InitWithOptions(b"ASRL1::INSTR", 1, 1, b"Simulate=1", ctypes.byref(vi), 9600)
assert status == 0 and vi.value != 0, status

limit = ctypes.c_double(0)
lib.ZEV_QX70_GetAttributeViReal64.argtypes = [ViSession, ctypes.c_char_p, ctypes.c_uint32, ctypes.POINTER(ctypes.c_double)]
assert lib.ZEV_QX70_GetAttributeViReal64(vi, b"1", 1250002, ctypes.byref(limit)) == 0
assert limit.value == 300.0, limit.value

message = ctypes.create_string_buffer(256)
assert lib.ZEV_QX70_error_message(vi, ViStatus(-1074126847).value, message) == 0
assert message.value == b"Over-voltage detected.", message.value

assert lib.ZEV_QX70_close(vi) == 0
assert ViStatus(lib.ZEV_QX70_close(vi)).value == ViStatus(0xBFFA1190 - 2**32).value
print("ctypes client: all checks passed")
