"""Fork and exit: each case runs in a fresh interpreter.

A forked child must not repeat its parent's random draws; a child forked
while the background pool runs must still simulate both ways and reload;
a process that exits with lives running or queued ends with status 0.
"""

import os
import textwrap

import pytest

from running import run_python

pytestmark = pytest.mark.slow

SANITIZED = bool(os.environ.get("SABLEWICK_SANITIZED"))
FATAL = ("Fatal Python error", "Segmentation fault", "AddressSanitizer", "runtime error:",
         "terminate called", "Aborted")

# Shared by the scripts: lives decided by the draw (ten years, each drawing
# one of 64 equally weighted events), and long lives (a thousand years
# testing many conditions) that keep the pool busy.
PRELUDE = textwrap.dedent("""
    import asyncio, os, signal, sys, threading, time
    import sablewick_core as core
    from builders import END_TALENT, event, make_config, mortal, slow_config, slow_ids

    def drawn_config():
        events = {i: event(i) for i in range(64)}
        ages = {a: {"age": a, "events": [(i, 1.0) for i in range(64)]} for a in range(10)}
        return make_config(talents={END_TALENT: mortal(condition="AGE>=9")}, events=events,
                           ages=ages)

    def fingerprint(lives=20):
        return tuple(tuple(core.simulate_full_life([900], {}, set()).get_triggered_events())
                     for _ in range(lives))

    def long_config():
        return slow_config(300)

    LONG_IDS = slow_ids(300)

    def async_life(*args):
        async def life():
            return await core.simulate_async(*args)
        return asyncio.run(life())
""")


# gcc 12's AddressSanitizer does not lock its allocator around fork(): a
# child forked while pool threads allocate can hang inside the sanitizer's
# own allocator. The plain build runs these.
FORK_WHILE_BUSY = pytest.mark.skipif(SANITIZED, reason="the sanitizer's allocator is not fork-safe")
# A daemon thread that the interpreter ends with pthread_exit at exit is
# unwound through instrumented frames whose stack redzones stay poisoned:
# ASan then reports a stack-buffer-overflow in its own unpoisoning code.
DAEMON_UNWIND = pytest.mark.skipif(SANITIZED, reason="forced unwind confuses the sanitizer's stack map")


def run(body, *args, timeout=120):
    return run_python(PRELUDE + textwrap.dedent(body), *args, timeout=timeout, forbidden=FATAL)


def test_forked_children_never_repeat_the_parents_lives():
    done = run("""
        core.init_config(drawn_config())
        fingerprint(50)                      # the parent's generator is in use
        async_life([900], {}, set())       # and the pool's
        children = []
        for _ in range(4):
            read, write = os.pipe()
            pid = os.fork()
            if pid == 0:
                os.close(read)
                os.write(write, repr(fingerprint()).encode())
                os._exit(0)
            os.close(write)
            children.append((pid, read))
        mine = fingerprint()
        seen = [mine]
        for pid, read in children:
            with os.fdopen(read) as pipe:
                seen.append(eval(pipe.read()))
            assert os.waitpid(pid, 0)[1] == 0
        assert len(set(seen)) == len(seen), "a child repeated another process's lives"
        lives = [life for run in seen for life in run]
        # 60 bits a life: a repeat within one process would be a broken generator.
        assert len(set(lives)) == len(lives)
        print("ok", len(lives))
    """)
    assert done.stdout.startswith("ok")


@FORK_WHILE_BUSY
def test_a_child_forked_while_the_pool_runs_simulates_both_ways_and_reloads():
    done = run("""
        core.init_config(long_config())
        results = {}

        def parent_lives():
            async def lives():
                return await asyncio.gather(*(core.simulate_async(LONG_IDS, {}, set())
                                              for _ in range(600)))  # most of them queued
            results["parent"] = asyncio.run(lives())

        worker = threading.Thread(target=parent_lives)
        worker.start()
        time.sleep(0.3)  # jobs running on the pool, more waiting in its queue
        pid = os.fork()
        if pid == 0:
            signal.alarm(60)  # a hang ends the child with SIGALRM
            try:
                assert core.simulate_full_life(LONG_IDS, {}, set()).total_years == 1000
                core.init_config(drawn_config())  # no reader of the parent holds the store
                sync = core.simulate_full_life([900], {}, set())

                async def lives():
                    return await asyncio.gather(*(core.simulate_async([900], {}, set())
                                                  for _ in range(100)))
                sessions = asyncio.run(lives())
                assert sync.total_years == 10
                assert all(s.total_years == 10 for s in sessions)
                os._exit(0)
            except BaseException as error:
                print("child:", repr(error), file=sys.stderr)
                os._exit(1)
        _, status = os.waitpid(pid, 0)
        worker.join()
        assert status == 0, f"child status {status}"
        assert len(results["parent"]) == 600
        assert all(s.total_years == 1000 for s in results["parent"])
        print("ok")
    """, timeout=300)
    assert done.stdout.strip() == "ok"


EXITS = {
    # The loop closes with lives running and queued: their delivery fails.
    "loop_closed_with_lives_pending": """
        async def main():
            for _ in range(700):  # most of them queued
                core.simulate_async(LONG_IDS, {}, set())
        asyncio.run(main())
    """,
    # SystemExit raised inside the running loop.
    "sys_exit_inside_the_loop": """
        async def main():
            futures = [core.simulate_async(LONG_IDS, {}, set()) for _ in range(800)]
            await asyncio.sleep(0.2)
            sys.exit(0)
        asyncio.run(main())
    """,
    # A loop that never closes: the main thread ends while a daemon thread's
    # loop waits for lives and another daemon thread simulates synchronously.
    "daemon_threads_at_exit": """
        def loop_thread():
            async def main():
                await asyncio.gather(*(core.simulate_async(LONG_IDS, {}, set()) for _ in range(800)))
            asyncio.run(main())

        def sync_thread():
            while True:
                core.simulate_full_life(LONG_IDS, {}, set())

        threading.Thread(target=loop_thread, daemon=True).start()
        threading.Thread(target=sync_thread, daemon=True).start()
        time.sleep(0.3)
    """,
    # Exit right after the first call built the pool.
    "exit_right_after_the_first_call": """
        async def main():
            core.simulate_async(LONG_IDS, {}, set())
        asyncio.run(main())
    """,
    # A reload waiting for running lives while the process is asked to end.
    "reload_then_exit": """
        async def main():
            futures = [core.simulate_async(LONG_IDS, {}, set()) for _ in range(300)]
            await asyncio.sleep(0.1)
            core.init_config(drawn_config())   # waits for the running readers
            await asyncio.gather(*futures[:10])
        asyncio.run(main())
    """,
}


# Daemon threads inside the module's own frames, running host code (a
# property, an __index__) that may hand the interpreter lock over: at exit
# the interpreter ends such a thread with pthread_exit, unwinding through
# those frames without a thread state.
DAEMONS_IN_HOST_CODE = """
    class Talent:
        def __init__(self, i):
            self._i = i

        @property
        def id(self):
            sum(range(200))
            return self._i

        name = "n"
        description = "d"

    class Index:
        def __index__(self):
            sum(range(200))
            return 1

    def loader():
        while True:
            core.init_config(make_config(talents={i: Talent(i) for i in range(200)}))

    def simulator():
        while True:
            core.simulate_full_life([Index() for _ in range(50)], {"CHR": Index()}, {Index()})

    def waiter():
        async def main():
            while True:
                await core.simulate_async([Index()], {}, set())
        asyncio.run(main())

    for target in (loader, simulator, waiter) * 3:
        threading.Thread(target=target, daemon=True).start()
    time.sleep(float(sys.argv[1]))
"""


@DAEMON_UNWIND
@pytest.mark.parametrize("delay", ["0.05", "0.1", "0.2", "0.3", "0.4", "0.5"])
def test_exit_while_daemon_threads_run_host_code_inside_the_module(delay):
    run(DAEMONS_IN_HOST_CODE, delay)


@pytest.mark.parametrize("body", [pytest.param(body, id=name, marks=[DAEMON_UNWIND] if "daemon" in name else [])
                                  for name, body in EXITS.items()])
def test_exit_with_lives_running_or_queued_ends_with_status_zero(body):
    run("core.init_config(long_config())\n" + textwrap.dedent(body), timeout=120)


@FORK_WHILE_BUSY
def test_a_child_that_exits_while_the_parents_jobs_were_queued_ends_with_status_zero():
    # The fork happens outside the loop: a child that ran its copy of the
    # parent's loop would share its epoll instance and wake-up socket, and
    # could swallow the parent's wake-ups (asyncio's limit, not the module's).
    run("""
        core.init_config(long_config())
        results = {}

        def parent_lives():
            async def lives():
                return await asyncio.gather(*(core.simulate_async(LONG_IDS, {}, set())
                                              for _ in range(700)))
            results["parent"] = asyncio.run(lives())

        worker = threading.Thread(target=parent_lives)
        worker.start()
        time.sleep(0.3)
        pid = os.fork()
        if pid == 0:
            sys.exit(0)  # a normal exit: atexit hooks and finalisation run
        _, status = os.waitpid(pid, 0)
        worker.join()
        assert status == 0, status
        assert len(results["parent"]) == 700
    """, timeout=300)


def test_a_host_exit_hook_registered_before_the_first_async_life_still_gets_its_life():
    # Exit hooks run last registered first: the module's own, which stops
    # deliveries, is registered at import, so a host hook registered later
    # (here before the first simulate_async) still sees its life delivered.
    done = run("""
        import atexit
        core.init_config(drawn_config())

        def at_exit():
            print("delivered", async_life([900], {}, set()).total_years)

        atexit.register(at_exit)
        async_life([900], {}, set())
    """, timeout=60)
    assert "delivered 10" in done.stdout


@pytest.mark.parametrize("lives", [1, 30])
def test_lives_asked_for_after_the_modules_exit_hook_are_delivered(lives):
    # A host hook registered before the import runs after the module's own,
    # which stops deliveries from the completion thread: its lives must
    # still arrive, not leave the process waiting for them at exit.
    done = run_python("""
        import asyncio, atexit, sys

        def last_work():
            async def main():
                return await asyncio.gather(*(core.simulate_async([900], {}, set())
                                              for _ in range(int(sys.argv[1]))))
            sessions = asyncio.run(main())
            expected = core.simulate_full_life([900], {}, set()).get_summary()
            assert all(session.get_summary() == expected for session in sessions)
            print("delivered", len(sessions), sessions[0].total_years)

        atexit.register(last_work)
        import sablewick_core as core
        from builders import years_config
        core.init_config(years_config(10))
    """, str(lives), timeout=60, forbidden=FATAL)
    assert f"delivered {lives} 10" in done.stdout


LIVES_STARTED_BEFORE_THE_MODULES_EXIT_HOOK = {
    # Still simulating when the hook runs.
    "running": "futures += loop.run_until_complete(start(1))",
    # Behind as many lives as each pool thread can take, several times over.
    "queued": "futures += loop.run_until_complete(start(4 * os.cpu_count()))",
    # Behind lives whose loop was closed: those are dropped, this one is not.
    "behind_a_closed_loops_lives": """
        asyncio.run(start(4 * os.cpu_count()))
        futures += loop.run_until_complete(start(1))
    """,
    # On a loop whose is_closed() raises until its lives are in.
    "on_a_loop_that_cannot_tell": """
        class Loop(asyncio.SelectorEventLoop):
            def is_closed(self):
                if not all(future.done() for future in futures):
                    raise RuntimeError("cannot tell")
                return super().is_closed()
        loop = Loop()
        futures += loop.run_until_complete(start(1))
    """,
}


@pytest.mark.parametrize("case", LIVES_STARTED_BEFORE_THE_MODULES_EXIT_HOOK)
def test_lives_started_before_the_modules_exit_hook_reach_a_later_hook(case):
    # The module's hook runs while these lives are still to come; a host hook
    # registered before the import runs after it and awaits them on their
    # own loop, which is still open: they must arrive, not leave the
    # process waiting at exit.
    done = run_python(textwrap.dedent("""
        import asyncio, atexit, os, sys
        loop = asyncio.new_event_loop()
        futures = []

        def last_work():
            sessions = loop.run_until_complete(asyncio.gather(*futures))
            print("delivered", len(sessions), {session.total_years for session in sessions})

        atexit.register(last_work)
        import sablewick_core as core
        from builders import slow_config, slow_ids
        core.init_config(slow_config(20_000))

        async def start(lives):
            return [core.simulate_async(slow_ids(20_000), {}, set()) for _ in range(lives)]
    """) + textwrap.dedent(LIVES_STARTED_BEFORE_THE_MODULES_EXIT_HOOK[case]), timeout=60, forbidden=FATAL)
    lives = (4 * os.cpu_count()) if case == "queued" else 1
    assert f"delivered {lives} {{1000}}" in done.stdout
