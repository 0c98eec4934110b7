"""Address space nearly exhausted: each case runs in a fresh interpreter.

The child caps its address space a little above its size once the module
is loaded, then awaits lives on 64 pool threads. Where memory runs out
moves with the headroom (a thread's stack, its first allocation, its
first throw, the thread-local data of the module and of the C++ runtime),
so the cases walk a range of it. Every life must end as a session, a
MemoryError or one of the documented RuntimeErrors, and the process must
go on: with the cap lifted, a new life arrives.
"""

import json
import os
import shutil
import subprocess

import pytest

from running import run_python

pytestmark = pytest.mark.slow

SANITIZED = bool(os.environ.get("SABLEWICK_SANITIZED"))
FATAL = ("Fatal Python error", "Segmentation fault", "cannot allocate memory for thread-local data",
         "Fatal glibc error", "terminate called", "Aborted")
ALLOWED_FAILURES = ("Simulation task panicked: ", "OS can't spawn worker thread: ")

CHILD = """
    import asyncio, json, resource, sys
    import sablewick_core as core

    core.init_config({"talents": {}, "events": {}, "ages": {}, "achievements": {}, "judge": {}})

    def size():
        with open("/proc/self/status") as status:
            for line in status:
                if line.startswith("VmSize:"):
                    return int(line.split()[1]) * 1024

    async def life():
        return await core.simulate_async([], {}, set())

    def outcome(task):
        result = task.exception() or task.result()
        if isinstance(result, core.GameSession):
            return "session"
        if isinstance(result, MemoryError):
            return "MemoryError"
        if isinstance(result, RuntimeError):
            return "RuntimeError: " + str(result)
        return repr(result)

    async def lives():
        tasks = [asyncio.ensure_future(life()) for _ in range(20)]
        done, pending = await asyncio.wait(tasks, timeout=10)
        return [outcome(task) for task in done], len(pending)

    _, hard = resource.getrlimit(resource.RLIMIT_AS)
    resource.setrlimit(resource.RLIMIT_AS, (size() + int(sys.argv[1]) * 2**20, hard))
    try:
        outcomes, pending = asyncio.run(lives())
    except MemoryError:
        outcomes, pending = ["MemoryError"], 0   # the loop itself could not run
    resource.setrlimit(resource.RLIMIT_AS, (hard, hard))
    after = asyncio.run(life())
    print(json.dumps({"outcomes": outcomes, "pending": pending, "after": after.total_years}))
"""


@pytest.mark.skipif(SANITIZED, reason="the sanitizer's shadow memory needs the whole address space")
@pytest.mark.parametrize("headroom_mib", [1, 4, 8, 16, 18, 20, 24, 28, 32, 40, 48, 64, 96])
def test_lives_fail_soundly_when_the_address_space_runs_out(headroom_mib):
    env = {**os.environ, "TOKIO_WORKER_THREADS": "64"}
    done = run_python(CHILD, str(headroom_mib), timeout=60, env=env, forbidden=FATAL)
    report = json.loads(done.stdout)
    for outcome in report["outcomes"]:
        assert outcome in ("session", "MemoryError") or outcome.startswith(
            tuple("RuntimeError: " + text for text in ALLOWED_FAILURES)), outcome
    assert report["pending"] == 0
    assert report["after"] >= 0


# What glibc makes on a thread's first touch and ends the process when it
# cannot: dynamic thread-local data (reached through __tls_get_addr or TLS
# descriptors) and the registration of a thread_local's destructor.
LAZY_PER_THREAD = ("__tls_get_addr", "__cxa_thread_atexit_impl", "__cxa_thread_atexit")
LAZY_RELOCATIONS = ("R_X86_64_DTPMOD64", "R_X86_64_DTPOFF64", "R_X86_64_TLSDESC")


@pytest.mark.skipif(SANITIZED, reason="the sanitizers' builds link the shared C++ runtime")
@pytest.mark.skipif(shutil.which("readelf") is None, reason="needs binutils' readelf")
def test_the_module_needs_no_thread_local_data_made_lazily():
    import sablewick_core as core

    def readelf(*options):
        return subprocess.run(["readelf", "-W", *options, core.__file__], capture_output=True, text=True,
                              check=True).stdout

    # "12: 0000000000000000  0 FUNC  GLOBAL DEFAULT  UND __tls_get_addr@GLIBC_2.3 (4)"
    undefined, defined = set(), set()
    for line in readelf("--dyn-syms").splitlines():
        fields = line.split()
        if len(fields) >= 8 and fields[0].endswith(":") and fields[1] != "Value":
            (undefined if fields[6] == "UND" else defined).add(fields[7].split("@")[0])
    assert sorted(undefined & set(LAZY_PER_THREAD)) == []
    # The module's copy of the runtime answers its own calls: none of it is
    # exported, where a shared libstdc++ loaded globally would stand in.
    assert sorted(name for name in defined if name.startswith("__cxa_")) == []
    relocations = readelf("--relocs")
    assert not [kind for kind in LAZY_RELOCATIONS if kind in relocations]
    assert "libstdc++" not in readelf("--dynamic")
