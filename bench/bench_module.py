"""Benchmarks of the sablewick_core module on the large configuration.

    python bench/bench_module.py [--quick] [--memory-lives N] [--only 1,2,...]

Prints figures and ratios; it never fails because the machine was slow. Each
ratio is measured side by side in one run (the two sides alternate), and
every figure is the median of several runs.

  1  lives per second, synchronous, one thread; time per simulated year
  2  init_config against a pure-Python walk over every field of every record
  3  get_page_data(1) and get_summary() against building the same dicts in
     pure Python from prepared tuples
  4  simulate_async throughput with 1, 2 and all cores' worth of lives in
     flight, against the synchronous rate; event-loop lag of a 1 ms
     repeating callback and throughput while 20, 200 and 1,000 lives are
     kept in flight
  5  resident size before and after many lives whose sessions are dropped
"""

import argparse
import asyncio
import gc
import os
import statistics
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import sablewick_core as core  # noqa: E402
from large_config import build_config, player_choices  # noqa: E402

CORES = os.cpu_count() or 1
COMMAND = "bash scripts/bench.sh"
targets = []  # (name, met, text)


def load_average():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def say(text=""):
    print(text, flush=True)


def target(name, met, text):
    targets.append((name, met, text))
    say(f"  TARGET {name}: {text} -> {'met' if met else 'MISSED'}")


def median(values):
    return statistics.median(values)


def timed(fn, *args):
    start = time.perf_counter()
    fn(*args)
    return time.perf_counter() - start


class NoGC:
    """The collector off while timing, on both sides alike."""

    def __enter__(self):
        gc.collect()
        gc.disable()

    def __exit__(self, *exc):
        gc.enable()


# ------------------------------------------------------------------ lives

CHOICES = player_choices()


def run_lives(count, offset=0):
    years = 0
    for k in range(count):
        talents, points = CHOICES[(offset + k) % len(CHOICES)]
        years += core.simulate_full_life(talents, points, set()).total_years
    return years


def sync_rate(lives, runs):
    """Median lives per second and seconds per year over `runs` runs."""
    rates, per_year = [], []
    for r in range(runs):
        start = time.perf_counter()
        years = run_lives(lives, r * lives)
        elapsed = time.perf_counter() - start
        rates.append(lives / elapsed)
        per_year.append(elapsed / years)
    return median(rates), median(per_year)


def bench_lives(args):
    say("1. Lives per second, synchronous, one thread")
    lives = 40 if args.quick else 150
    runs = 3 if args.quick else 7
    rate, per_year = sync_rate(lives, runs)
    say(f"  {rate:.1f} lives/s (median of {runs} runs of {lives} lives), "
        f"{per_year * 1e6:.1f} us per simulated year")
    return rate


# ------------------------------------------------------------ init_config

TALENT_FIELDS = ("id", "name", "description", "grade", "condition", "exclusive", "status",
                 "max_triggers")
EFFECT_FIELDS = ("CHR", "INT", "STR", "MNY", "SPR", "LIF", "AGE", "RDM")
EVENT_FIELDS = ("id", "event", "grade", "no_random", "include", "exclude", "post_event")
ACHIEVEMENT_FIELDS = ("id", "name", "description", "grade", "opportunity", "condition")


def read_effect(record):
    effect = record.get("effect")
    if effect is not None:
        for name in EFFECT_FIELDS:
            effect.get(name)


def walk_config(config):
    """Reads every field of every record once, as the loader looks them up."""
    for key, t in config["talents"].items():
        for name in TALENT_FIELDS:
            t.get(name)
        read_effect(t)
        exclude = t.get("exclude")
        if exclude is not None:
            for x in exclude:
                pass
        replacement = t.get("replacement")
        if replacement is not None:
            for table in (replacement.get("grade"), replacement.get("talent")):
                if table is not None:
                    for k, w in table.items():
                        pass
    for key, e in config["events"].items():
        for name in EVENT_FIELDS:
            e.get(name)
        if "no_random" not in e:
            e.get("NoRandom")
        if "post_event" not in e:
            e.get("postEvent")
        read_effect(e)
        branches = e.get("branch")
        if branches is not None:
            for b in branches:
                b.get("condition")
                if b.get("event_id") is None:
                    b.get("eventId")
    for key, a in config["ages"].items():
        a.get("age")
        talents = a.get("talents")
        if talents is not None:
            for x in talents:
                pass
        events = a.get("events")
        if events is not None:
            for event_id, weight in events:
                pass
    for key, a in config["achievements"].items():
        for name in ACHIEVEMENT_FIELDS:
            a.get(name)
    for key, levels in config["judge"].items():
        for level in levels:
            level.get("min"), level.get("grade"), level.get("text")


def bench_init(args, config):
    say("2. init_config on the large configuration, against a pure-Python walk")
    runs = 5 if args.quick else 11
    native, walk = [], []
    with NoGC():
        for _ in range(runs):
            native.append(timed(core.init_config, config))
            walk.append(timed(walk_config, config))
    n, w = median(native), median(walk)
    say(f"  init_config {n * 1e3:.2f} ms, Python walk {w * 1e3:.2f} ms "
        f"(medians of {runs}, alternating)")
    target("(2) init_config <= 1.5 x walk", n / w <= 1.5, f"ratio {n / w:.2f}")


# --------------------------------------------------------- session reads


def hundred_year_session():
    for k in range(100000):
        talents, points = CHOICES[k % len(CHOICES)]
        session = core.simulate_full_life(talents, points, set())
        if session.total_years == 100:
            return session
    raise RuntimeError("no 100-year life")


def prepare_page(session):
    prepared = []
    for y in session.get_page_data(1):
        p = y["properties"]
        prepared.append((y["age"], y["display_text"], p["CHR"], p["INT"], p["STR"], p["MNY"],
                         p["SPR"], p["LIF"], y["is_end"]))
    return prepared


def build_page(prepared):
    return [{"age": a, "display_text": t,
             "properties": {"CHR": c, "INT": i, "STR": s, "MNY": m, "SPR": sp, "LIF": lf},
             "is_end": e}
            for a, t, c, i, s, m, sp, lf, e in prepared]


def prepare_summary(session):
    summary = session.get_summary()
    judges = [(j["property_type"], j["value"], j["grade"], j["text"], j["progress"],
               j["progress_bar"]) for j in summary["judges"]]
    talents = [(t["id"], t["name"], t["description"], t["grade"]) for t in summary["talents"]]
    return summary["total_score"], judges, talents


def build_summary(prepared):
    score, judges, talents = prepared
    return {
        "total_score": score,
        "judges": [{"property_type": p, "value": v, "grade": g, "text": t, "progress": pr,
                    "progress_bar": b} for p, v, g, t, pr, b in judges],
        "talents": [{"id": i, "name": n, "description": d, "grade": g}
                    for i, n, d, g in talents],
    }


def per_call(fn, arg, calls):
    start = time.perf_counter()
    for _ in range(calls):
        fn(arg)
    return (time.perf_counter() - start) / calls


def compare_calls(native, native_arg, python, python_arg, calls, runs):
    """Median seconds per call of each side, the sides alternating."""
    ns, ps = [], []
    with NoGC():
        for _ in range(runs):
            ns.append(per_call(native, native_arg, calls))
            ps.append(per_call(python, python_arg, calls))
    return median(ns), median(ps)


def bench_reads(args):
    say("3. GameSession reads on a 100-year life, against building the same dicts in Python")
    session = hundred_year_session()
    page, summary = prepare_page(session), prepare_summary(session)
    assert build_page(page) == session.get_page_data(1)
    assert build_summary(summary) == session.get_summary()
    runs = 5 if args.quick else 11
    calls = 200 if args.quick else 2000
    # Each side is one Python-level call per iteration.
    n, p = compare_calls(lambda s: s.get_page_data(1), session, build_page, page, calls, runs)
    say(f"  get_page_data(1): {n * 1e6:.2f} us per call, Python {p * 1e6:.2f} us "
        f"({len(page)} year dicts)")
    target("(3) get_page_data(1) <= 1.0 x Python", n / p <= 1.0, f"ratio {n / p:.2f}")
    n, p = compare_calls(lambda s: s.get_summary(), session, build_summary, summary, calls, runs)
    say(f"  get_summary(): {n * 1e6:.2f} us per call, Python {p * 1e6:.2f} us")
    target("(3) get_summary() <= 1.0 x Python", n / p <= 1.0, f"ratio {n / p:.2f}")


# ------------------------------------------------------------------ async


async def async_lives(total, in_flight, offset=0):
    """Keeps `in_flight` lives running until `total` have finished: as many
    coroutines, each awaiting one life after another (no task waits for its
    turn, so the collector has only those to walk)."""
    lives = iter(range(total))

    async def worker():
        years = 0
        for k in lives:
            talents, points = CHOICES[(offset + k) % len(CHOICES)]
            years += (await core.simulate_async(talents, points, set())).total_years
        return years

    await asyncio.gather(*(worker() for _ in range(min(in_flight, total))))


# Lives kept in flight while the loop's lag is measured: a chat bot's quiet
# hour, a busy channel, a flood.
LAG_LEVELS = (20, 200, 1000)


async def lag_under_load(in_flight, total, offset=0):
    """Lag of a 1 ms repeating callback while `in_flight` lives are kept
    running until `total` have finished (none: half a second idle). Returns
    the sorted lags in seconds and the lives per second."""
    loop = asyncio.get_running_loop()
    lags = []
    done = False
    expected = [0.0]

    def tick():
        now = loop.time()
        lags.append(now - expected[0])
        if not done:
            expected[0] = now + 0.001
            loop.call_later(0.001, tick)

    expected[0] = loop.time() + 0.001
    loop.call_later(0.001, tick)
    start = time.perf_counter()
    if in_flight:
        await async_lives(total, in_flight, offset)
    else:
        await asyncio.sleep(0.5)
    elapsed = time.perf_counter() - start
    done = True
    await asyncio.sleep(0.005)
    lags.sort()
    return lags, total / elapsed


class OthersCpu:
    """Processor time that other processes used while the block ran, in
    cores (from /proc/stat, less this process's own time)."""

    def __enter__(self):
        self.start = (self._busy(), self._own(), time.perf_counter())
        return self

    def __exit__(self, *exc):
        busy, own, wall = self.start
        self.cores = ((self._busy() - busy) - (self._own() - own)) / (time.perf_counter() - wall)

    @staticmethod
    def _busy():
        with open("/proc/stat") as f:
            ticks = [int(x) for x in f.readline().split()[1:]]
        return (sum(ticks) - ticks[3] - ticks[4]) / os.sysconf("SC_CLK_TCK")

    @staticmethod
    def _own():
        t = os.times()
        return t.user + t.system


def percentile(sorted_values, fraction):
    return sorted_values[min(len(sorted_values) - 1, int(len(sorted_values) * fraction))]


def spin(seconds):
    """Counts loop turns for `seconds` of wall time: a CPU-bound probe."""
    end = time.perf_counter() + seconds
    turns = 0
    while time.perf_counter() < end:
        turns += 1
    return turns


def machine_scaling(processes, seconds=0.5):
    """How much more CPU-bound work `processes` processes get done than one:
    the parallelism the machine offers right now, other users included."""
    import multiprocessing
    context = multiprocessing.get_context("spawn")
    with context.Pool(processes) as pool:
        pool.map(spin, [0.05] * processes)  # started and warm
        alone = pool.apply(spin, (seconds,))
        together = sum(pool.map(spin, [seconds] * processes))
    return together / alone


def bench_async(args):
    say(f"4. simulate_async throughput and event-loop lag ({CORES} cores, "
        f"load average {load_average()})")
    runs = 3 if args.quick else 5
    scaling = machine_scaling(CORES)
    say(f"  control: {CORES} processes of a CPU-bound Python loop get {scaling:.2f} x the work of one "
        f"(what this machine offers now)")
    asyncio.run(async_lives(8, 2))  # start the pool
    # Runs of about half a second each, whatever a life costs.
    rate, _ = sync_rate(40, 3)
    lives = max(120, int(rate * 0.5))
    levels = sorted({1, 2, CORES})
    ratios = {}
    for level in levels:
        sync, asyn = [], []
        for r in range(runs):
            start = time.perf_counter()
            run_lives(lives, r * lives)
            sync.append(lives / (time.perf_counter() - start))
            start = time.perf_counter()
            asyncio.run(async_lives(lives, level, r * lives))
            asyn.append(lives / (time.perf_counter() - start))
        s, a = median(sync), median(asyn)
        ratios[level] = a / s
        say(f"  {level} in flight: {a:.1f} lives/s, synchronous {s:.1f} lives/s, "
            f"ratio {a / s:.2f} (ideal {min(level, CORES)}; {lives} lives a run)")
    full = ratios[CORES]
    target(f"(4) throughput with {CORES} cores >= 0.8 x {CORES} x single-thread rate",
           full >= 0.8 * CORES, f"{full:.2f} x, needs {0.8 * CORES:.2f} x "
           f"(the control reached {scaling:.2f} x)")

    lags, _ = asyncio.run(lag_under_load(0, 0))
    say(f"  loop lag idle: p50 {percentile(lags, 0.5) * 1e3:.2f} ms, "
        f"p99 {percentile(lags, 0.99) * 1e3:.2f} ms ({len(lags)} ticks)")
    # Each run keeps the level in flight for a few seconds of lives; the
    # synchronous rate is measured between the runs, alternating.
    lag_runs = 1 if args.quick else 3
    seconds = 1 if args.quick else 3
    for level in LAG_LEVELS:
        total = max(5 * level, int(rate * seconds))
        p50s, p99s, worst, ticks, speedups, others = [], [], [], [], [], []
        control = machine_scaling(CORES, 0.3)
        for r in range(lag_runs):
            sync_lives = max(40, total // 4)
            start = time.perf_counter()
            run_lives(sync_lives, r * total)
            sync = sync_lives / (time.perf_counter() - start)
            with OthersCpu() as busy:
                lags, asyn = asyncio.run(lag_under_load(level, total, r * total))
            others.append(busy.cores)
            p50s.append(percentile(lags, 0.5))
            p99s.append(percentile(lags, 0.99))
            worst.append(lags[-1])
            ticks.append(len(lags))
            speedups.append(asyn / sync)
        p50, p99, ratio = median(p50s), median(p99s), median(speedups)
        say(f"  {level} lives in flight ({total} lives a run): loop lag p50 {p50 * 1e3:.2f} ms, "
            f"p99 {p99 * 1e3:.2f} ms, worst {max(worst) * 1e3:.1f} ms; "
            f"throughput {ratio:.2f} x the synchronous rate "
            f"(medians of {lag_runs} runs, {min(ticks)} to {max(ticks)} ticks a run; "
            f"p99 of each run: {', '.join(f'{x * 1e3:.2f}' for x in p99s)} ms; "
            f"control {control:.2f} x, other processes used "
            f"{', '.join(f'{x:.2f}' for x in others)} cores)")
        if level == 200:
            target("(4) loop lag p99 < 5 ms while 200 lives run", p99 < 0.005,
                   f"p99 {p99 * 1e3:.2f} ms")
            target("(4) loop lag p50 < 1 ms while 200 lives run", p50 < 0.001,
                   f"p50 {p50 * 1e3:.2f} ms")
            target("(4) throughput with 200 lives in flight >= 1.6 x synchronous", ratio >= 1.6,
                   f"{ratio:.2f} x (the control reached {control:.2f} x)")
    say(f"  load average {load_average()} after section 4")


# ----------------------------------------------------------------- memory


def rss_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def bench_memory(args):
    lives = args.memory_lives
    say(f"5. Resident size over {lives} lives with their sessions dropped")
    run_lives(2000)  # every condition resolved, allocator pools warm
    gc.collect()
    before = rss_bytes()
    checkpoints = []
    step = max(1, lives // 5)
    start = time.perf_counter()
    done = 0
    while done < lives:
        count = min(step, lives - done)
        run_lives(count, done)
        done += count
        gc.collect()
        checkpoints.append(rss_bytes())
    elapsed = time.perf_counter() - start
    after = checkpoints[-1]
    growth = after - before
    marks = ", ".join(f"{(c - before) / 2**20:+.2f}" for c in checkpoints)
    say(f"  resident before {before / 2**20:.1f} MiB, after {after / 2**20:.1f} MiB "
        f"(growth {growth / 2**20:+.2f} MiB; at each fifth: {marks}) in {elapsed:.0f} s")
    target(f"(5) resident growth over {lives} lives < 5 MB", growth < 5 * 10**6,
           f"{growth / 10**6:+.2f} MB")


# ------------------------------------------------------------------- main


def main():
    parser = argparse.ArgumentParser(description="sablewick_core benchmarks")
    parser.add_argument("--quick", action="store_true", help="fewer runs (a smoke test)")
    parser.add_argument("--memory-lives", type=int, default=100_000)
    parser.add_argument("--only", default="1,2,3,4,5", help="sections to run, e.g. 1,3")
    args = parser.parse_args()
    only = {int(x) for x in args.only.split(",") if x}

    say(f"machine: {CORES} cores, load average {load_average()}; Python {sys.version.split()[0]}; "
        f"command: {COMMAND}")
    start = time.perf_counter()
    config = build_config()
    say(f"large configuration built in {time.perf_counter() - start:.2f} s: "
        + ", ".join(f"{len(v)} {k}" for k, v in config.items()))
    core.init_config(config)
    run_lives(300)  # the first check of every condition text parses it
    say()
    if 1 in only:
        bench_lives(args)
        say()
    if 2 in only:
        bench_init(args, config)
        say()
    if 3 in only:
        bench_reads(args)
        say()
    if 4 in only:
        bench_async(args)
        say()
    if 5 in only:
        bench_memory(args)
        say()
    say("targets of the module benchmark:")
    for name, met, text in targets:
        say(f"  {'met   ' if met else 'MISSED'} {name}: {text}")


if __name__ == "__main__":
    main()
