"""The baseline commit against the current tree, side by side, per shape.

Run by scripts/bench.sh, which builds both sides first:

    side_by_side.py --configs DIR --baseline-bench PATH --current-bench PATH
                    --baseline-site DIR [--shapes large,dense,sparse] [--quick]

DIR holds config-SHAPE.json for each shape and choices.json
(`large_config.py --json ... --shape SHAPE` and `--choices`).

- Engine alone: bench/life_bench.cpp built against each tree (the same
  program, the same seed, so both sides start with the same lives), one
  process per round, the two sides alternating.
- Module: simulate_full_life in one worker process per side (the baseline's
  module from --baseline-site, the current one from this interpreter's
  environment), rounds alternating, with the player choices of
  large_config.player_choices().
- End to end against the engine alone: the current module's time per
  simulated year over life_bench's on the current tree (same configuration,
  same choices; the module's lives draw from the thread's generator, so the
  comparison is per year).
- Parsing: bench/parse_bench.cpp built against each tree, the first check
  of one 750,000-term condition in a fresh process per round, with the heap
  the cache keeps for it.

Times are the CPU time of the simulating thread, which a machine shared
with other work disturbs far less than the wall clock (the wall-clock ratio
is printed beside them). Every figure is a median over the rounds; figures
are printed, never judged by the exit status.
"""

import argparse
import gc
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))


# ------------------------------------------------------------ module worker


def worker(shape):
    """Reads "LIVES SECONDS" lines, answers "lives years wall cpu" for each."""
    sys.path.insert(0, HERE)
    import sablewick_core as core
    from large_config import build_config, player_choices

    core.init_config(build_config(shape=shape))
    choices = player_choices()
    k = 0

    def run(lives, min_seconds):
        nonlocal k
        years = done = 0
        start, cpu_start = time.perf_counter(), time.thread_time()
        elapsed = 0.0
        while done < lives or elapsed < min_seconds:
            talents, points = choices[k % len(choices)]
            k += 1
            years += core.simulate_full_life(talents, points, set()).total_years
            done += 1
            elapsed = time.perf_counter() - start
        return done, years, elapsed, time.thread_time() - cpu_start

    run(5, 0.0)  # warm-up: the condition cache and the CPU's caches
    print(f"ready {core.__file__}", flush=True)
    for line in sys.stdin:
        lives, min_seconds = line.split()
        gc.collect()
        gc.disable()
        done, years, elapsed, cpu = run(int(lives), float(min_seconds))
        gc.enable()
        print(f"{done} {years} {elapsed:.6f} {cpu:.6f}", flush=True)


class Worker:
    def __init__(self, shape, site=None):
        env = dict(os.environ)
        if site:
            env["PYTHONPATH"] = site + (os.pathsep + env["PYTHONPATH"] if env.get("PYTHONPATH") else "")
        self.proc = subprocess.Popen([sys.executable, os.path.abspath(__file__), "--worker", shape],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, env=env)
        ready = self.proc.stdout.readline().split()
        if not ready or ready[0] != "ready":
            raise RuntimeError(f"worker for {shape} did not start")
        self.module = ready[1]

    def run(self, lives, min_seconds):
        self.proc.stdin.write(f"{lives} {min_seconds}\n")
        self.proc.stdin.flush()
        done, years, wall, cpu = self.proc.stdout.readline().split()
        return int(done), int(years), float(wall), float(cpu)

    def close(self):
        self.proc.stdin.close()
        self.proc.wait()


# ------------------------------------------------------------------ figures


def engine_round(bench, config, choices, lives, min_seconds):
    out = subprocess.run([bench, "--config", config, "--choices", choices, "--lives", str(lives),
                          "--min-seconds", str(min_seconds), "--seed", "1"],
                         check=True, capture_output=True, text=True).stdout.split()
    fields = dict(zip(out[::2], out[1::2]))
    return (int(fields["lives"]), int(fields["years"]), float(fields["seconds"]),
            float(fields["cpu_seconds"]))


class Side:
    """Rounds of one side: per life and per simulated year, in microseconds."""

    def __init__(self):
        self.per_life, self.per_year, self.wall_per_life, self.years = [], [], [], []

    def add(self, lives, years, wall, cpu):
        self.per_life.append(cpu * 1e6 / lives)
        self.per_year.append(cpu * 1e6 / max(years, 1))
        self.wall_per_life.append(wall * 1e6 / lives)
        self.years.append(years / lives)

    def wall_life(self):
        return statistics.median(self.wall_per_life)

    def life(self):
        return statistics.median(self.per_life)

    def year(self):
        return statistics.median(self.per_year)

    def line(self, name):
        return (f"    {name:<9} {self.life():>10.1f} us per life  {self.year():>8.2f} us per year  "
                f"({1e6 / self.life():.1f} lives/s; {statistics.mean(self.years):.1f} years per life; "
                f"wall clock {self.wall_life():.1f} us per life)")


def ratio_line(base, current, what):
    return (f"    baseline/current: {base.life() / current.life():.2f} x per life, "
            f"{base.year() / current.year():.2f} x per year, wall clock "
            f"{base.wall_life() / current.wall_life():.2f} x per life  ({what})")


def compare_shape(args, shape):
    config = os.path.join(args.configs, f"config-{shape}.json")
    choices = os.path.join(args.configs, "choices.json")
    rounds = 3 if args.quick else 7
    seconds = 0.3 if args.quick else 1.0

    print(f"\n== shape {shape}: engine alone (bench/life_bench.cpp), median of {rounds} alternating rounds "
          f"of at least {seconds} s; CPU time of the simulating thread")
    print(f"   {args.baseline_bench} / {args.current_bench} --config {config} --choices {choices} "
          f"--lives 10 --min-seconds {seconds} --seed 1")
    engine = {"baseline": Side(), "current": Side()}
    benches = {"baseline": args.baseline_bench, "current": args.current_bench}
    for r in range(rounds):
        order = ("baseline", "current") if r % 2 == 0 else ("current", "baseline")
        for side in order:
            engine[side].add(*engine_round(benches[side], config, choices, 10, seconds))
    print(engine["baseline"].line("baseline"))
    print(engine["current"].line("current"))
    print(ratio_line(engine["baseline"], engine["current"], "target 1: at least 15 x"))

    print(f"== shape {shape}: simulate_full_life end to end, one worker process per side, "
          f"median of {rounds} alternating rounds of at least {seconds} s; CPU time of the calling thread")
    workers = {"baseline": Worker(shape, args.baseline_site), "current": Worker(shape)}
    try:
        for side, w in workers.items():
            print(f"    {side} module: {w.module}")
        module = {"baseline": Side(), "current": Side()}
        for r in range(rounds):
            order = ("baseline", "current") if r % 2 == 0 else ("current", "baseline")
            for side in order:
                module[side].add(*workers[side].run(5, seconds))
    finally:
        for w in workers.values():
            w.close()
    print(module["baseline"].line("baseline"))
    print(module["current"].line("current"))
    print(ratio_line(module["baseline"], module["current"], "target 1: at least 15 x"))
    for side in ("baseline", "current"):
        e2e = module[side].year() / engine[side].year()
        note = "  (target 2: at most 1.3 x)" if side == "current" else ""
        print(f"    end to end / engine alone, per simulated year, {side}: {e2e:.2f} x{note}")


def compare_parse(args):
    rounds = 3 if args.quick else 7
    print(f"\n== parsing one 750,000-term condition (bench/parse_bench.cpp), fresh process per round, "
          f"median of {rounds} alternating rounds; wall clock")
    seconds = {"baseline": [], "current": []}
    per_term = {}
    benches = {"baseline": args.baseline_parse, "current": args.current_parse}
    for r in range(rounds):
        order = ("baseline", "current") if r % 2 == 0 else ("current", "baseline")
        for side in order:
            out = subprocess.run([benches[side]], check=True, capture_output=True, text=True).stdout.split()
            fields = dict(zip(out[0::2], out[1::2]))
            seconds[side].append(float(fields["seconds"]))
            per_term[side] = float(fields["bytes_per_term"])
    medians = {side: statistics.median(values) for side, values in seconds.items()}
    for side in ("baseline", "current"):
        print(f"    {side:8} {medians[side] * 1000:8.1f} ms, {per_term[side]:6.1f} bytes kept per term")
    print(f"    baseline/current: {medians['baseline'] / medians['current']:.2f} x  "
          f"(target 5: at least 5 x, under 0.1 s, at most 64 bytes per term)")


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--worker":
        worker(sys.argv[2])
        return
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--configs", required=True)
    parser.add_argument("--baseline-bench", required=True)
    parser.add_argument("--current-bench", required=True)
    parser.add_argument("--baseline-site", required=True, help="folder holding the baseline's module")
    parser.add_argument("--baseline-parse", help="bench/parse_bench.cpp built against the baseline")
    parser.add_argument("--current-parse", help="the same against the current tree")
    parser.add_argument("--shapes", default="large,dense,sparse")
    parser.add_argument("--quick", action="store_true")
    args = parser.parse_args()
    for shape in args.shapes.split(","):
        compare_shape(args, shape)
    if args.baseline_parse and args.current_parse:
        compare_parse(args)


if __name__ == "__main__":
    main()
