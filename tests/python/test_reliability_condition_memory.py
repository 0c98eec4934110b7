"""What condition texts keep: the configurations in force hold them, and
what no configuration uses any longer is released. Each distinct text is
stored and parsed once, however many records carry it.

Memory is measured in fresh processes, as the heap in use (mallinfo2):
unlike the resident size, it is blind to what the allocator keeps for reuse.
"""

import json
import os

import pytest

from running import run_python

pytestmark = pytest.mark.slow

SANITIZED = bool(os.environ.get("SABLEWICK_SANITIZED"))
MB = 2**20

MEASURING = """
import gc, json, sys, threading, time
import sablewick_core as core
from builders import event, make_config, talent
from reliability_probe import heap_bytes

def heap():
    gc.collect()
    return heap_bytes()
"""

RELOADS = MEASURING + """
TALENTS = 3_000

def talents(round_):
    # Distinct texts of about 2 KB that never hold (the first test fails),
    # so a life tests every one each year, quickly, for 1000 years.
    tail = "&".join(f"INT>{k}" for k in range(250))
    return {i: talent(i, description=f"round {round_}",
                      condition=f"(AGE<-5)&(CHR>{round_ * TALENTS + i})&{tail}")
            for i in range(1, TALENTS + 1)}

small = make_config(talents={1: talent(1, description="small")})
ids = list(range(1, TALENTS + 1))
held, on_replaced = [], 0
for round_ in range(4):
    core.init_config(make_config(talents=talents(round_)))
    # A life on this configuration while it is replaced: the reload waits
    # for it, and it ends on the configuration it started on.
    sessions = []
    worker = threading.Thread(target=lambda: sessions.append(
        core.simulate_full_life(ids, {"LIF": 1}, set())))
    worker.start()
    time.sleep(0.05)
    core.init_config(small)
    worker.join()
    summary = sessions[0].get_summary()
    descriptions = {t["description"] for t in summary["talents"]}
    assert sessions[0].total_years == 1000, sessions[0].total_years
    if descriptions == {f"round {round_}"}:
        assert len(summary["talents"]) == TALENTS
        on_replaced += 1
    else:
        assert descriptions == {"small"}, descriptions
    del sessions, summary
    held.append(heap())
print(json.dumps({"held": held, "on_replaced": on_replaced}))
"""


def test_reloads_release_the_conditions_of_replaced_configurations():
    figures = json.loads(run_python(RELOADS, timeout=300).stdout.strip().splitlines()[-1])
    print(figures)
    held = figures["held"]
    assert figures["on_replaced"] >= 1, figures
    if SANITIZED:
        return
    # Each round loads some 6 MB of distinct texts (before: 27 MB more
    # held after every round).
    assert held[-1] - held[0] < 4 * MB, figures


SHARED = MEASURING + """
field, parses, records = sys.argv[1], sys.argv[2] == "parses", int(sys.argv[3])
terms = [f"CHR>{k}" for k in range(30_000)]
text = "|".join(terms)[:210_000]
text = text[:text.rfind("|")] + ("" if parses else "&&CHR")  # "&&" does not parse

def load(texts):
    config = make_config(events={i: event(i, **{field: t}) for i, t in enumerate(texts, 1)})
    before = heap()
    start = time.perf_counter()
    core.init_config(config)
    seconds = time.perf_counter() - start
    grown = heap() - before
    core.init_config(make_config())
    return seconds, grown

def fastest(texts):
    runs = [load(texts) for _ in range(3)]
    return min(r[0] for r in runs), min(r[1] for r in runs)

one = fastest([text])
tiny = fastest([f"CHR>{i}" for i in range(records)])  # what the records cost themselves
shared = fastest([text] * records)
print(json.dumps({"one": one, "tiny": tiny, "shared": shared, "length": len(text)}))
"""


@pytest.mark.parametrize("field, parses", [("include", True), ("include", False), ("exclude", True),
                                           ("exclude", False)])
def test_a_text_shared_by_many_records_costs_its_memory_and_parse_once(field, parses):
    records = 500
    done = run_python(SHARED, field, "parses" if parses else "fails", str(records), timeout=300)
    figures = json.loads(done.stdout.strip().splitlines()[-1])
    print(figures)
    (one_seconds, one_bytes), (tiny_seconds, _), (shared_seconds, shared_bytes) = (
        figures["one"], figures["tiny"], figures["shared"])
    # Before: a copy of the text per record (and, for an exclude, a program
    # bound per record), and a text that does not parse parsed per record.
    assert shared_seconds < 10 * (one_seconds + tiny_seconds), figures
    if not SANITIZED:
        assert shared_bytes < 2 * one_bytes + 1 * MB, figures
