"""simulate_async: the call, the future, the background pool, exit and fork."""

import asyncio
import inspect
import os
import textwrap
import time

import pytest

import pool
import sablewick_core as core
from builders import one_year_config, slow_config, slow_ids
from running import run_python


@pytest.fixture
def one_year():
    core.init_config(one_year_config())


def test_docstring_and_signature():
    assert core.simulate_async.__doc__ == (
        "Simulate a complete life trajectory asynchronously\n"
        "\n"
        "This function runs the simulation in a background thread using Tokio's\n"
        "spawn_blocking, allowing Python's asyncio event loop to remain responsive.\n"
        "The GIL is automatically released during the CPU-intensive simulation.\n"
        "\n"
        "# Arguments\n"
        "* `py` - Python interpreter token\n"
        "* `talent_ids` - List of selected talent IDs\n"
        "* `properties` - Initial property allocation {CHR, INT, STR, MNY}\n"
        "* `achieved_ids` - Set of already achieved achievement IDs\n"
        "* `tms` - Play count (TMS)\n"
        "* `aevt` - Historical events (AEVT)\n"
        "* `atlt` - Historical talents (ATLT)\n"
        "* `cachv` - Achievement count (CACHV)\n"
        "\n"
        "# Returns\n"
        "A Python awaitable that resolves to a GameSession object\n"
        "\n"
        "# Raises\n"
        "RuntimeError if `init_config` was not called first\n"
        "\n"
        "# Example (Python)\n"
        "```python\n"
        'session = await simulate_async([1, 2, 3], {"CHR": 5, "INT": 5}, set(), 10)\n'
        "print(session.total_years)\n"
        "```"
    )
    assert str(inspect.signature(core.simulate_async)) == (
        "(talent_ids, properties, achieved_ids, tms=0, aevt=None, atlt=None, cachv=0)"
    )
    assert core.__all__.index("simulate_async") == 3
    assert core.simulate_async.__module__ == "sablewick_core"


def test_without_a_running_loop_the_call_raises_asyncios_error(one_year):
    with pytest.raises(RuntimeError, match="no running event loop"):
        core.simulate_async([], {}, set())


@pytest.mark.slow
@pytest.mark.timeout(60)
def test_in_a_fresh_process_the_config_check_comes_after_conversion_and_starts_no_thread():
    done = run_python("""
        import asyncio
        import pool
        import sablewick_core as core

        def error(call):
            try:
                call()
            except Exception as e:
                return f"{type(e).__name__}: {e}"

        async def main():
            print(error(lambda: core.simulate_async([], {}, set())))
            print(error(lambda: core.simulate_async([], {}, set(), cachv=None)))
            print(len(pool.threads()))

        # The configuration check comes before the running-loop query.
        print(error(lambda: core.simulate_async([], {}, set())))
        asyncio.run(main())
    """, timeout=60)
    assert done.stdout.splitlines() == [
        "RuntimeError: Config not initialized. Call init_config() first.",
        "RuntimeError: Config not initialized. Call init_config() first.",
        "TypeError: argument 'cachv': 'NoneType' object cannot be interpreted as an integer",
        "0",
    ]


def gen():
    yield 1


BAD_CALLS = [
    (("12", {}, set()), {}),
    (({1}, {}, set()), {}),
    ((gen(), {}, set()), {}),
    (([1, 2.5], {}, set()), {}),
    (([2**31], {}, set()), {}),
    (([2**70], {}, set()), {}),
    (([], [], set()), {}),
    (([], {1: 2}, set()), {}),
    (([], {"CHR": 2**40}, set()), {}),
    (([], {}, [1]), {}),
    (([], {}, None), {}),
    (([], {}, set(), None), {}),
    (([], {}, set()), {"aevt": "7"}),
    (([], {}, set()), {"atlt": [None]}),
    (([], {}, set()), {"cachv": 1.5}),
    (("x", [], None), {"cachv": None}),
    ((), {}),
    (([],), {"achieved_ids": set()}),
    (([], {}, set(), 0, None, None, 0, 1), {}),
    (([], {}, set()), {"seed": 1}),
    (([], {}, set()), {"talent_ids": []}),
]


def raised(call, *args, **kwargs):
    with pytest.raises(Exception) as info:
        call(*args, **kwargs)
    return info.value


@pytest.mark.asyncio
@pytest.mark.parametrize("args, kwargs", BAD_CALLS)
async def test_conversion_errors_are_those_of_simulate_full_life(one_year, args, kwargs):
    expected = raised(core.simulate_full_life, *args, **kwargs)
    error = raised(core.simulate_async, *args, **kwargs)
    assert type(error) is type(expected)
    assert str(error) == str(expected).replace("simulate_full_life()", "simulate_async()")
    assert type(error.__cause__) is type(expected.__cause__)


@pytest.mark.asyncio
@pytest.mark.timeout(30)
async def test_a_future_never_awaited_still_resolves():
    core.init_config(one_year_config("alone"))
    future = core.simulate_async([], {}, set())
    assert isinstance(future, asyncio.Future)
    assert future.get_loop() is asyncio.get_running_loop()
    while not future.done():
        await asyncio.sleep(0.005)
    session = future.result()
    assert isinstance(session, core.GameSession)
    assert session.get_year(0)["display_text"].endswith(" alone")


@pytest.mark.asyncio
@pytest.mark.timeout(60)
async def test_cancelling_the_await_lets_the_simulation_finish_and_drops_its_value():
    core.init_config(slow_config())
    future = core.simulate_async(slow_ids(), {}, set())

    async def awaiting():
        return await future

    task = asyncio.ensure_future(awaiting())
    await asyncio.sleep(0.01)
    task.cancel()
    with pytest.raises(asyncio.CancelledError):
        await task
    assert future.cancelled()

    # The reload waits for the cancelled simulation's read lock, so it ends.
    core.init_config(one_year_config("after"))
    session = await core.simulate_async([], {}, set())
    assert session.get_year(0)["display_text"].endswith(" after")
    assert future.cancelled()


@pytest.mark.asyncio
@pytest.mark.timeout(60)
async def test_a_hundred_gathered_lives_each_resolve_to_their_own_session(one_year):
    sessions = await asyncio.gather(
        *(core.simulate_async([], {"CHR": i}, set()) for i in range(100))
    )
    assert len({id(s) for s in sessions}) == 100
    assert [s.get_year(0)["properties"]["CHR"] for s in sessions] == list(range(100))


RELOAD_SCRIPT = """
import asyncio, os
import pool
import sablewick_core as core
from builders import one_year_config, slow_config, slow_ids

core.init_config(slow_config(), {0: "OLD"})
keep_alive = int(os.environ.get("TOKIO_WORKER_THREADS", "1"))
running = max(len(os.sched_getaffinity(0)), keep_alive)

async def main():
    ids = slow_ids()
    fillers = [core.simulate_async(ids, {}, set()) for _ in range(running)]
    queued = core.simulate_async([], {}, set())
    core.init_config(one_year_config("end"), {0: "NEW"})
    # One thread per running life, and the completion thread.
    started = len(pool.threads()) - 1
    session = await queued
    await asyncio.gather(*fillers)
    print(started - running, session.get_year(0)["display_text"])

asyncio.run(main())
"""


@pytest.mark.slow
@pytest.mark.timeout(120)
@pytest.mark.parametrize("keep_alive", [None, "1", str(len(os.sched_getaffinity(0)) + 2)])
def test_lives_beyond_the_running_limit_wait_and_see_a_reload_made_meanwhile(keep_alive):
    # The pool runs at most max(processors, keep-alive count) lives at once
    # (each a long one here); the next call waits in its queue, and the
    # reload that follows waits only for the running lives (a waiting writer
    # holds back new readers). The queued job then reads the new
    # configuration.
    env = {k: v for k, v in os.environ.items() if k != "TOKIO_WORKER_THREADS"}
    if keep_alive:
        env["TOKIO_WORKER_THREADS"] = keep_alive
    done = run_python(RELOAD_SCRIPT, timeout=100, env=env)
    assert done.stdout == "0 NEW end\n"


@pytest.mark.asyncio
@pytest.mark.timeout(60)
async def test_pool_threads_carry_the_runtime_name(one_year):
    await core.simulate_async([], {}, set())
    assert pool.threads()


@pytest.mark.slow
@pytest.mark.timeout(60)
@pytest.mark.skipif(len(os.sched_getaffinity(0)) < 2, reason="one processor: no thread beyond the kept one")
def test_threads_beyond_the_keep_alive_count_yield_to_the_rest_of_the_process():
    # One thread kept alive: it and the completion thread run at the
    # caller's priority, the threads started for the other lives (one per
    # further processor) lower.
    done = run_python("""
        import asyncio, os
        import sablewick_core as core
        from builders import slow_config, slow_ids
        from pool import nice_values
        core.init_config(slow_config(1000))

        async def main():
            await asyncio.gather(*(core.simulate_async(slow_ids(1000), {}, set())
                                   for _ in range(6)))
            own = os.getpriority(os.PRIO_PROCESS, 0)
            for _ in range(100):  # a thread just started lowers its own first thing
                if nice_values().count(own) == 2:
                    break
                await asyncio.sleep(0.01)
            print(own, nice_values())

        asyncio.run(main())
    """, timeout=50, env={**os.environ, "TOKIO_WORKER_THREADS": "1"})
    own, values = done.stdout.split(" ", 1)
    own = int(own)
    if own > 9:
        pytest.skip("this process already runs at the lowest priorities")
    values = eval(values)
    assert values[:2] == [own, own], values
    assert len(values) > 2 and set(values[2:]) == {own + 10}, values


IDLE_SPELL_SCRIPT = """
    import asyncio, os, time
    import sablewick_core as core
    from builders import slow_config, slow_ids
    from pool import nice_values
    core.init_config(slow_config(1000))

    async def main():
        await asyncio.gather(*(core.simulate_async(slow_ids(1000), {}, set())
                               for _ in range(8)))
        during = nice_values()
        # The pool lets a lowered thread go after 10 s idle; the kept
        # thread and the completion thread stay.
        deadline = time.monotonic() + 60
        while len(nice_values()) > 2 and time.monotonic() < deadline:
            await asyncio.sleep(0.25)
        print(os.getpriority(os.PRIO_PROCESS, 0), during, nice_values(), sep="\\n")

    asyncio.run(main())
"""


@pytest.mark.slow
@pytest.mark.timeout(120)
def test_after_an_idle_spell_the_threads_left_run_at_the_callers_priority():
    # The kept thread may finish its lives first and idle longest; it is
    # still the one that stays, so later lives run as the README says.
    done = run_python(IDLE_SPELL_SCRIPT, timeout=100,
                      env={**os.environ, "TOKIO_WORKER_THREADS": "1"})
    own, during, after = map(eval, done.stdout.splitlines())
    # One thread per processor (the running limit), and the completion thread.
    assert len(during) == 1 + len(os.sched_getaffinity(0)), during
    assert after == [own, own], (during, after)


WORKER_THREADS_CASES = [
    ("2", "ok"),
    ("+1", "ok"),
    ("abc", 'RuntimeError: "TOKIO_WORKER_THREADS" must be usize, error: invalid digit found in string, value: abc'),
    ("0", 'RuntimeError: "TOKIO_WORKER_THREADS" cannot be set to 0'),
    ("", 'RuntimeError: "TOKIO_WORKER_THREADS" must be usize, error: cannot parse integer from empty string, value: '),
]


@pytest.mark.slow
@pytest.mark.timeout(60)
@pytest.mark.parametrize("value, outcome", WORKER_THREADS_CASES)
def test_worker_threads_variable_is_honoured_or_refused_at_the_call(value, outcome):
    # A refused value makes no pool: every call says so, none starts a life.
    done = run_python("""
        import asyncio
        import sablewick_core as core
        from builders import one_year_config
        core.init_config(one_year_config())

        async def main():
            for _ in range(2):
                try:
                    session = await core.simulate_async([], {}, set())
                    print("ok" if session.total_years == 1 else "wrong")
                except Exception as e:
                    print(f"{type(e).__name__}: {e}")

        asyncio.run(main())
    """, timeout=50, env={**os.environ, "TOKIO_WORKER_THREADS": value})
    assert done.stdout == f"{outcome}\n{outcome}\n"


@pytest.mark.slow
@pytest.mark.asyncio
@pytest.mark.timeout(120)
async def test_the_event_loop_keeps_running_during_a_long_life():
    core.init_config(slow_config())
    ticks = 0

    def tick():
        nonlocal ticks
        ticks += 1
        loop.call_later(0.005, tick)

    loop = asyncio.get_running_loop()
    handle = loop.call_soon(tick)
    started = time.perf_counter()
    blocked = core.simulate_full_life(slow_ids(), {}, set())
    sync_seconds = time.perf_counter() - started
    sync_ticks = ticks
    assert sync_ticks == 0  # the synchronous life held the loop
    assert blocked.total_years > 100

    started = time.perf_counter()
    session = await core.simulate_async(slow_ids(), {}, set())
    async_seconds = time.perf_counter() - started
    handle.cancel()
    assert session.total_years == blocked.total_years
    assert sync_seconds > 0.05, "the life is too short to measure"
    # A tick every 5 ms while the life ran; a loop held for the whole life
    # would have ticked at most once.
    assert ticks >= max(5, async_seconds / 0.005 / 10)


@pytest.mark.timeout(60)
def test_under_uvloop():
    uvloop = pytest.importorskip("uvloop")
    core.init_config(one_year_config("uv"))

    async def main():
        assert "uvloop" in type(asyncio.get_running_loop()).__module__
        sessions = await asyncio.gather(*(core.simulate_async([], {"INT": i}, set()) for i in range(20)))
        cancelled = core.simulate_async([], {}, set())
        cancelled.cancel()
        unawaited = core.simulate_async([], {}, set())
        while not unawaited.done():
            await asyncio.sleep(0.005)
        return sessions, unawaited.result()

    sessions, last = uvloop.run(main())
    assert [s.get_year(0)["properties"]["INT"] for s in sessions] == list(range(20))
    assert last.get_year(0)["display_text"].endswith(" uv")


EXIT_SCRIPT = """
    import asyncio, sys
    import sablewick_core as core
    from builders import ending_event, make_config, slow_config, slow_ids
    slow = sys.argv[1] == "slow"
    n = 2000 if slow else 1
    core.init_config(make_config(talents=slow_config(n)["talents"],
                                 events={1: ending_event(1, event="end")},
                                 ages={} if slow else {0: {"age": 0, "events": [(1, 1.0)]}}))

    async def start():
        return [core.simulate_async(slow_ids(n), {}, set()) for _ in range(200)]

    if sys.argv[2] == "closed":
        asyncio.run(start())
    else:
        loop = asyncio.new_event_loop()
        futures = loop.run_until_complete(start())
    print("returned")
"""


@pytest.mark.slow
@pytest.mark.timeout(120)
@pytest.mark.parametrize("work", ["slow", "quick"])
@pytest.mark.parametrize("loop_state", ["closed", "open"])
def test_exit_with_pending_jobs_neither_crashes_nor_hangs(work, loop_state):
    done = run_python(EXIT_SCRIPT, work, loop_state, timeout=90,
                      forbidden=("Fatal Python error",))
    assert done.stdout == "returned\n"


@pytest.mark.slow
@pytest.mark.timeout(120)
def test_a_child_forked_during_a_simulation_simulates_both_ways():
    done = run_python("""
        import asyncio, os, sys, time, warnings
        import sablewick_core as core
        from builders import WHITE, one_year_config, slow_config, slow_ids
        warnings.simplefilter("ignore", DeprecationWarning)  # fork with threads running

        n = 10_000
        core.init_config(slow_config(n))
        quick = one_year_config("child")

        async def child_lives():
            return await asyncio.gather(*(core.simulate_async([], {}, set()) for _ in range(3)))

        async def parent():
            future = core.simulate_async(slow_ids(n), {}, set())
            await asyncio.sleep(0.05)  # the job holds the store's read lock now
            pid = os.fork()
            if pid == 0:
                code = 1
                try:
                    core.init_config(quick)
                    sync = core.simulate_full_life([], {}, set())
                    lives = asyncio.run(asyncio.wait_for(child_lives(), 20))
                    texts = [s.get_year(0)["display_text"] for s in [sync, *lives]]
                    code = 0 if texts == [WHITE + " child"] * 4 else 2
                finally:
                    os._exit(code)
            deadline = time.monotonic() + 60
            while True:
                finished, status = os.waitpid(pid, os.WNOHANG)
                if finished:
                    break
                if time.monotonic() > deadline:
                    os.kill(pid, 9)
                    os.waitpid(pid, 0)
                    sys.exit("the child hung")
                await asyncio.sleep(0.05)
            print(os.waitstatus_to_exitcode(status))
            await future

        asyncio.run(parent())
    """, timeout=100)
    assert done.stdout == "0\n"


SLOW_JOB_CONFIG = """
import asyncio, sys, threading, time
import sablewick_core as core
from builders import slow_config, slow_ids
SLOW = slow_config(2000)
core.init_config(SLOW)
shown = []
sys.excepthook = lambda kind, value, tb: (shown.append(f"{kind.__name__}: {value}"),
                                          sys.__excepthook__(kind, value, tb))

def wait_for_the_job():
    core.init_config(SLOW)  # the write lock waits for the running life
    time.sleep(0.5)         # and its completion

async def start():
    return core.simulate_async(slow_ids(2000), {}, set())
"""

CLOSED_LOOP_CASES = {
    # The loop is closed while the life runs: the failed delivery is shown
    # as an uncaught error would be, and the future never completes.
    "closed_while_running": ("""
        loop = asyncio.new_event_loop()
        future = loop.run_until_complete(start())
        loop.close()
        wait_for_the_job()
        print(shown, future.done())
    """, "['RuntimeError: Event loop is closed'] False\n"),
    # A closed loop that refuses with SystemExit: shown the same way, and
    # the process goes on (it used to exit from the completion thread).
    "closed_refusing_with_system_exit": ("""
        class Loop(asyncio.SelectorEventLoop):
            def call_soon_threadsafe(self, *args, **kwargs):
                if self.is_closed():
                    raise SystemExit("refused")
                return super().call_soon_threadsafe(*args, **kwargs)
        loop = Loop()
        future = loop.run_until_complete(start())
        loop.close()
        wait_for_the_job()
        print(shown, future.done())
    """, "['SystemExit: refused'] False\n"),
    # Cancelled, then closed before the loop turned again: nothing to deliver.
    "cancelled_then_closed": ("""
        loop = asyncio.new_event_loop()
        future = loop.run_until_complete(start())
        future.cancel()
        loop.close()
        wait_for_the_job()
        print(shown, future.cancelled())
    """, "[] True\n"),
    # A future the host completed itself is still handed the value; the
    # loop's exception handler gets the InvalidStateError.
    "completed_by_the_host": ("""
        handled = []
        async def main():
            loop = asyncio.get_running_loop()
            loop.set_exception_handler(lambda loop, context: handled.append(
                type(context.get("exception")).__name__))
            future = await start()
            future.set_result("mine")
            await asyncio.to_thread(wait_for_the_job)
            await asyncio.sleep(0.1)
            return future.result()
        print(shown, asyncio.run(main()), handled)
    """, "[] mine ['InvalidStateError']\n"),
}


@pytest.mark.slow
@pytest.mark.timeout(60)
@pytest.mark.parametrize("case", CLOSED_LOOP_CASES)
def test_delivery_to_a_closed_cancelled_or_completed_future(case):
    body, expected = CLOSED_LOOP_CASES[case]
    done = run_python(SLOW_JOB_CONFIG + textwrap.dedent(body), timeout=60)
    assert done.stdout == expected, done.stderr
