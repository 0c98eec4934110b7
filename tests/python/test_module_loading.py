"""One module object per process, in one interpreter only."""

import pytest

from running import run_python

MODULE_IDENTITY = """
import sys
import sablewick_core as first
del sys.modules["sablewick_core"]
import sablewick_core as second
print(first is second)
"""

# A legacy (shared-GIL) second interpreter: the module must refuse it at
# import, and the first interpreter's asynchronous entry must keep working.
SECOND_INTERPRETER = """
import asyncio
import sablewick_core as core

core.init_config({"talents": {}, "events": {}, "ages": {}, "achievements": {}, "judge": {}})
interpreters = __import__("_xxsubinterpreters")
interp = interpreters.create(isolated=False)
try:
    interpreters.run_string(interp, '''
import asyncio
import sablewick_core as core
async def main():
    await core.simulate_async([], {"LIF": 1}, set())
asyncio.run(main())
''')
    print("imported")
except interpreters.RunFailedError as error:
    print("ImportError" if "ImportError" in str(error) else f"other: {error}")
interpreters.destroy(interp)

async def main():
    session = await core.simulate_async([], {"LIF": 1}, set())
    return type(session).__name__

print(asyncio.run(main()))
"""


# The module used only in a sub-interpreter, which is then ended: that
# interpreter must be left with no thread state of the module's.
ONLY_IN_A_SUB_INTERPRETER = """
interpreters = __import__("_xxsubinterpreters")
interp = interpreters.create(isolated=False)
interpreters.run_string(interp, '''
import asyncio
import sablewick_core as core
core.init_config({"talents": {}, "events": {}, "ages": {}, "achievements": {}, "judge": {}})
async def main():
    return await core.simulate_async([], {}, set())
print("lived", asyncio.run(main()).total_years, flush=True)
''')
interpreters.destroy(interp)
print("ended", flush=True)
"""


def second_interpreter_available():
    try:
        __import__("_xxsubinterpreters")
    except ImportError:
        return False
    return True


@pytest.mark.slow
def test_reimport_hands_out_the_one_module_object():
    assert run_python(MODULE_IDENTITY, timeout=60).stdout == "True\n"


@pytest.mark.slow
@pytest.mark.skipif(not second_interpreter_available(), reason="no _xxsubinterpreters")
def test_a_second_interpreter_is_refused_and_the_first_keeps_working():
    assert run_python(SECOND_INTERPRETER, timeout=60).stdout.splitlines() == [
        "ImportError", "GameSession"]

@pytest.mark.slow
@pytest.mark.skipif(not second_interpreter_available(), reason="no _xxsubinterpreters")
def test_a_sub_interpreter_that_ran_lives_can_be_ended():
    assert run_python(ONLY_IN_A_SUB_INTERPRETER, timeout=60).stdout.splitlines() == ["lived 1000", "ended"]
