"""simulate_async: delivery when the host's loop or future fails, on the completion thread or the loop's."""

import textwrap

import pytest

from running import run_python

pytestmark = pytest.mark.slow

# A loop whose future's cancelled() or whose call_soon_threadsafe raises on
# the completion thread (never on the loop's own thread) the first `times`
# times, or until told to stop.
FAILING_HOST = """
import asyncio, sys, threading
import sablewick_core as core
from builders import one_year_config
core.init_config(one_year_config("arrived"))
where, kind, times = sys.argv[1], sys.argv[2], int(sys.argv[3])
ERROR = {"MemoryError": MemoryError, "SystemExit": SystemExit,
         "KeyboardInterrupt": KeyboardInterrupt, "ValueError": ValueError}[kind]
MAIN = threading.get_ident()
calls = []

def fail(step):
    if threading.get_ident() == MAIN or step != where:
        return
    calls.append(step)
    if len(calls) <= times:
        raise ERROR(f"{step} failed")

class Future(asyncio.Future):
    def cancelled(self):
        fail("cancelled")
        return super().cancelled()

class Loop(asyncio.SelectorEventLoop):
    def create_future(self):
        return Future(loop=self)

    def call_soon_threadsafe(self, *args, **kwargs):
        fail("call_soon_threadsafe")
        return super().call_soon_threadsafe(*args, **kwargs)
"""

FAILING_STEPS = [
    # The case: every off-loop cancelled() raises.
    ("cancelled", "MemoryError", 10**9),
    ("cancelled", "SystemExit", 10**9),
    ("call_soon_threadsafe", "MemoryError", 3),
    ("call_soon_threadsafe", "ValueError", 3),
    ("call_soon_threadsafe", "SystemExit", 3),
    ("call_soon_threadsafe", "KeyboardInterrupt", 1),
]


@pytest.mark.timeout(60)
@pytest.mark.parametrize("where, kind, times", FAILING_STEPS)
def test_a_failed_delivery_step_still_resolves_the_future(where, kind, times):
    done = run_python(FAILING_HOST + """
async def main():
    sessions = await asyncio.wait_for(
        asyncio.gather(*(core.simulate_async([], {"CHR": i}, set()) for i in range(3))), 20)
    return [s.get_year(0)["properties"]["CHR"] for s in sessions], sessions[0].get_year(0)["display_text"]

print(*Loop().run_until_complete(main()))
print("went on")
""", where, kind, str(times), timeout=50)
    lines = done.stdout.splitlines()
    assert lines[0].endswith(" arrived") and lines[0].startswith("[0, 1, 2] "), done.stdout
    assert lines[1] == "went on"
    if where == "call_soon_threadsafe" and kind != "MemoryError":
        # Shown, as the interpreter shows an uncaught error, not acted on.
        assert f"{kind}: call_soon_threadsafe failed" in done.stderr, done.stderr


@pytest.mark.timeout(60)
def test_a_persistent_failure_is_retried_with_back_off_until_it_lands():
    # While it fails the future stays pending and the retries slow down (a
    # hot loop would make thousands of calls in that second).
    done = run_python(FAILING_HOST + """
async def main():
    global times
    future = core.simulate_async([], {}, set())
    await asyncio.sleep(1.0)
    pending, failed = not future.done(), len(calls)
    times = 0
    session = await asyncio.wait_for(future, 20)
    print(pending, failed, session.get_year(0)["display_text"].split()[-1])

Loop().run_until_complete(main())
""", "call_soon_threadsafe", "ValueError", str(10**9), timeout=50)
    pending, failed, text = done.stdout.split()
    assert (pending, text) == ("True", "arrived")
    assert 3 <= int(failed) < 100, failed
    # One failing life is shown once, not at every retry.
    assert done.stderr.count("ValueError: call_soon_threadsafe failed") == 1, done.stderr


# Counts, in thread-local data on the completion thread, the rounds that
# thread state has seen; it also takes the interpreter lock there as C code
# would, which must leave that state alone.
COUNTING_HOST = """
import asyncio, ctypes, os, signal, threading
import sablewick_core as core
from builders import one_year_config
core.init_config(one_year_config())
MAIN = threading.get_ident()
local = threading.local()
rounds = []

class Loop(asyncio.SelectorEventLoop):
    def call_soon_threadsafe(self, *args, **kwargs):
        if threading.get_ident() != MAIN:
            local.rounds = getattr(local, "rounds", 0) + 1
            rounds.append(local.rounds)
            ctypes.pythonapi.PyGILState_Release(ctypes.pythonapi.PyGILState_Ensure())
        return super().call_soon_threadsafe(*args, **kwargs)

def lives(n):
    async def main():
        for _ in range(n):
            await core.simulate_async([], {}, set())
    loop = Loop()
    loop.run_until_complete(main())
    loop.close()
"""


@pytest.mark.timeout(60)
def test_the_completion_thread_keeps_one_thread_state():
    done = run_python(COUNTING_HOST + """
lives(5)
print(rounds)
""", timeout=50)
    assert done.stdout == "[1, 2, 3, 4, 5]\n"


@pytest.mark.timeout(60)
def test_a_forked_child_delivers_with_a_thread_state_of_its_own():
    # The parent's thread state is gone in the child with its thread; the
    # child's completion thread starts from a fresh one, and the parent's
    # goes on.
    done = run_python(COUNTING_HOST + """
import warnings
warnings.simplefilter("ignore", DeprecationWarning)  # fork with threads running
lives(2)
pid = os.fork()
if pid == 0:
    signal.alarm(30)  # a hang ends the child with SIGALRM
    rounds.clear()
    lives(2)
    os._exit(0 if rounds == [1, 2] else 1)
_, status = os.waitpid(pid, 0)
lives(2)
print(os.waitstatus_to_exitcode(status), rounds)
""", timeout=50)
    assert done.stdout == "0 [1, 2, 3, 4]\n"


# The same host, failing on the loop's own thread instead, where the value
# is set.
LOOP_THREAD_FAILURES = {
    # cancelled() cannot answer: the value is set all the same.
    "cancelled": ("""
        class Future(asyncio.Future):
            def cancelled(self):
                if threading.get_ident() == MAIN:
                    raise MemoryError("cancelled failed")
                return super().cancelled()
    """, "arrived"),
    # set_result refuses: the future is given the error, so it resolves.
    "set_result": ("""
        class Future(asyncio.Future):
            def set_result(self, result):
                raise MemoryError("set_result failed")
    """, "MemoryError: set_result failed"),
}


LOOP_THREAD_HOST = """
import asyncio, threading
import sablewick_core as core
from builders import one_year_config
core.init_config(one_year_config("arrived"))
MAIN = threading.get_ident()
{future_class}
class Loop(asyncio.SelectorEventLoop):
    def create_future(self):
        return Future(loop=self)

async def main():
    try:
        session = await asyncio.wait_for(core.simulate_async([], {{}}, set()), 20)
        return session.get_year(0)["display_text"].split()[-1]
    except Exception as e:
        return f"{{type(e).__name__}}: {{e}}"

print(Loop().run_until_complete(main()))
"""


@pytest.mark.timeout(60)
@pytest.mark.parametrize("case", LOOP_THREAD_FAILURES)
def test_a_failure_on_the_loops_thread_still_resolves_the_future(case):
    future_class, expected = LOOP_THREAD_FAILURES[case]
    program = LOOP_THREAD_HOST.format(future_class=textwrap.dedent(future_class))
    done = run_python(program, timeout=50)
    assert done.stdout == expected + "\n", done.stderr
