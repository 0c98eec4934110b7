"""The module's background threads as /proc shows them, for the tests of
this process and of the fresh interpreters they start."""

import os

THREAD_NAME = "tokio-runtime-w"  # "tokio-runtime-worker" as the kernel keeps it


def threads():
    """The ids of this process's threads of that name."""
    tids = []
    for tid in os.listdir("/proc/self/task"):
        try:
            with open(f"/proc/self/task/{tid}/comm") as comm:
                if comm.read().rstrip("\n") == THREAD_NAME:
                    tids.append(int(tid))
        except FileNotFoundError:  # the thread ended meanwhile
            pass
    return tids


def nice_values():
    """Their nice values, lowest first."""
    values = []
    for tid in threads():
        try:
            values.append(os.getpriority(os.PRIO_PROCESS, tid))
        except ProcessLookupError:  # it just ended
            pass
    return sorted(values)
