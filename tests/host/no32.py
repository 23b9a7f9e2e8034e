"""Runs a command as on a host that runs no 32-bit code.

    python3 tests/host/no32.py COMMAND [ARGS...]

A seccomp filter, inherited by everything the command starts, kills any
process the moment it makes an i386 system call, so a 32-bit program (the
32-bit Wine loader, wineserver32, the host probe) dies on its first one.
64-bit code runs as usual. Exits with 77 when the kernel takes no filter.
"""

import ctypes
import os
import struct
import sys

PR_SET_NO_NEW_PRIVS = 38
PR_SET_SECCOMP = 22
SECCOMP_MODE_FILTER = 2
AUDIT_ARCH_I386 = 0x40000003
SECCOMP_RET_KILL_PROCESS = 0x80000000
SECCOMP_RET_ALLOW = 0x7FFF0000
BPF_LD_W_ABS, BPF_JEQ_K, BPF_RET_K = 0x20, 0x15, 0x06


class _Program(ctypes.Structure):
    _fields_ = [("len", ctypes.c_ushort), ("filter", ctypes.c_void_p)]


def forbid_32bit():
    """Installs the filter in this process; False when the kernel refuses it."""
    def op(code, jt, jf, k):
        return struct.pack("=HBBI", code, jt, jf, k)
    code = (op(BPF_LD_W_ABS, 0, 0, 4)                 # seccomp_data.arch
            + op(BPF_JEQ_K, 0, 1, AUDIT_ARCH_I386)
            + op(BPF_RET_K, 0, 0, SECCOMP_RET_KILL_PROCESS)
            + op(BPF_RET_K, 0, 0, SECCOMP_RET_ALLOW))
    buf = ctypes.create_string_buffer(code, len(code))
    prog = _Program(len(code) // 8, ctypes.addressof(buf))
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl.argtypes = [ctypes.c_int, ctypes.c_ulong, ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong]
    if libc.prctl(PR_SET_NO_NEW_PRIVS, 1, None, 0, 0) != 0:
        return False
    return libc.prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, ctypes.byref(prog), 0, 0) == 0


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.stderr.write(__doc__)
        sys.exit(2)
    if not forbid_32bit():
        sys.stderr.write("no32: the kernel takes no seccomp filter\n")
        sys.exit(77)
    os.execvp(sys.argv[1], sys.argv[1:])
