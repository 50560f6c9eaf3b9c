#!/usr/bin/env python3
"""Stops one thread of another process while the rest of it runs on: ptrace seizes
the thread and interrupts it; it stays stopped until this program's standard input
closes or SECONDS have passed (15 unless given), then it is let go. Prints "stopped"
once the thread is held.

    lib_stop_thread.py PID THREAD-NAME [SECONDS]
"""
import ctypes
import os
import select
import sys

PTRACE_SEIZE = 0x4206
PTRACE_INTERRUPT = 0x4207
PTRACE_DETACH = 17
WALL = 0x40000000

libc = ctypes.CDLL(None, use_errno=True)
libc.ptrace.argtypes = [ctypes.c_long, ctypes.c_long, ctypes.c_void_p, ctypes.c_void_p]
libc.ptrace.restype = ctypes.c_long


def thread_named(pid, name):
    for tid in os.listdir(f"/proc/{pid}/task"):
        with open(f"/proc/{pid}/task/{tid}/comm") as comm:
            if comm.read().strip() == name:
                return int(tid)
    sys.exit(f"no thread named {name} in process {pid}")


def call(request, tid):
    if libc.ptrace(request, tid, None, None) != 0:
        sys.exit(f"ptrace {request:#x} of {tid}: {os.strerror(ctypes.get_errno())}")


def main():
    tid = thread_named(int(sys.argv[1]), sys.argv[2])
    call(PTRACE_SEIZE, tid)
    call(PTRACE_INTERRUPT, tid)
    os.waitpid(tid, WALL)
    print("stopped", tid, flush=True)
    limit = float(sys.argv[3]) if len(sys.argv) > 3 else 15.0
    select.select([sys.stdin], [], [], limit)
    call(PTRACE_DETACH, tid)


main()
