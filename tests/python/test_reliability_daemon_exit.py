"""A daemon thread inside a module call when the interpreter exits.

At exit the interpreter ends a thread that asks for the interpreter lock
with pthread_exit, a forced unwind through the module's frames. Here the
call releases a host object (only the module holds it) whose __del__ sleeps,
so the lock is handed over while the main thread finalises: the unwind
starts inside the release. The process must end as a pure-Python one does,
with status 0, whichever call the thread was in.
"""

import os
import textwrap

import pytest

from running import run_python

SANITIZED = bool(os.environ.get("SABLEWICK_SANITIZED"))
FATAL = ("Fatal Python error", "Segmentation fault", "terminate called", "Aborted")

# A daemon thread that the interpreter ends with pthread_exit at exit is
# unwound through instrumented frames whose stack redzones stay poisoned:
# ASan then reports a stack-buffer-overflow in its own unpoisoning code.
pytestmark = [pytest.mark.slow,
              pytest.mark.skipif(SANITIZED, reason="forced unwind confuses the sanitizer's stack map")]

PRELUDE = textwrap.dedent("""
    import asyncio, sys, threading, time
    import sablewick_core as core
    from builders import make_config

    inside = threading.Event()

    class Dying:
        def __del__(self, sleep=time.sleep):
            inside.set()
            sleep(0.5)  # the lock is handed over; finalisation starts meanwhile

    class Id(Dying):
        def __index__(self):
            return 1

    class Ids:
        def __len__(self):
            return 1

        def __getitem__(self, i):
            if i:
                raise IndexError
            return Id()  # only the module holds it

    class SlowTeardown:
        def __del__(self, sleep=time.sleep):
            sleep(1.0)  # hands the lock over while modules are torn down

    sys.modules["_slow_teardown"] = SlowTeardown()
    core.init_config(make_config())

    def in_daemon_thread(call):
        def worker():
            while True:
                call()
        threading.Thread(target=worker, daemon=True).start()
        inside.wait()
""")

CALLS = {
    "simulate_full_life": """
        in_daemon_thread(lambda: core.simulate_full_life(Ids(), {}, set()))
    """,
    "simulate_async": """
        async def lives():
            while True:
                await core.simulate_async(Ids(), {}, set())

        in_daemon_thread(lambda: asyncio.run(lives()))
    """,
    "init_config_attribute": """
        class Talent:
            name = "n"
            description = "d"

            @property
            def id(self):
                return Id()

        in_daemon_thread(lambda: core.init_config(make_config(talents={1: Talent()})))
    """,
    # A long condition text that only the load holds (it keeps such texts
    # until the load ends, so records sharing one are read once).
    "init_config_long_condition_text": """
        class Text(str, Dying):
            pass

        class Event:
            id = 1
            event = "e"

            @property
            def include(self):
                return Text("AGE>1" + " " * 2000)

        in_daemon_thread(lambda: core.init_config(make_config(events={1: Event()})))
    """,
    # The dict lets go of the value while it is converted: the module's
    # reference is the last, dropped when the walk moves on.
    "dict_value_replaced_during_conversion": """
        class Replaced(Dying):
            def __init__(self, owner):
                self.owner = owner

            def __index__(self):
                self.owner["CHR"] = 1
                return 1

        def call():
            properties = {}
            properties["CHR"] = Replaced(properties)
            properties["INT"] = 1
            core.simulate_full_life([], properties, set())

        in_daemon_thread(call)
    """,
    # An age's event entry read as a sequence: its items are held by the
    # module until both are converted.
    "age_event_entry": """
        class Entry:
            def __len__(self):
                return 2

            def __getitem__(self, i):
                if i >= 2:
                    raise IndexError
                return Id() if i == 0 else 1.0

        in_daemon_thread(lambda: core.init_config(make_config(ages={0: {"age": 0, "events": [Entry()]}})))
    """,
}


@pytest.mark.parametrize("call", CALLS.values(), ids=CALLS.keys())
def test_exit_while_a_daemon_thread_releases_a_host_object(call):
    run_python(PRELUDE + textwrap.dedent(call), timeout=60, forbidden=FATAL)


def test_exit_while_a_daemon_thread_drops_a_host_object_during_a_memory_error():
    # The copy of a 64 MiB name cannot be allocated: std::bad_alloc unwinds
    # through the frame that holds the only reference to the name, whose
    # release hands the lock over. It must wait until the exception is
    # caught, or the forced unwind would start inside that unwinding.
    run_python(PRELUDE + textwrap.dedent("""
        import resource

        SIZE = 64 << 20

        class Text(str, Dying):
            pass

        names = []

        class Talent:
            id = 1
            description = "d"

            @property
            def name(self):
                return names.pop() if names else "n"

        warmed_up = threading.Event()
        go = threading.Event()

        def worker():
            core.init_config(make_config(talents={1: Talent()}))  # the thread's first call
            warmed_up.set()
            go.wait()
            core.init_config(make_config(talents={1: Talent()}))

        threading.Thread(target=worker, daemon=True).start()
        warmed_up.wait()
        names.append(Text("x" * SIZE))
        with open("/proc/self/status") as status:
            size = next(int(line.split()[1]) for line in status if line.startswith("VmSize:")) * 1024
        resource.setrlimit(resource.RLIMIT_AS, (size + SIZE // 2, resource.RLIM_INFINITY))
        go.set()
        inside.wait()
    """), timeout=60, forbidden=FATAL)
