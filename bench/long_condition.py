"""What loading one very long condition costs: time and peak resident size.

    python bench/long_condition.py [TERMS]

Loads a talent whose condition is TERMS comparisons joined by "|" (default
1,750,000, a text of about 10 MB) with init_config in this fresh process
and prints the load's wall time and how much the peak resident size grew.
"""

import resource
import sys
import time

import sablewick_core as core


def main():
    terms = int(sys.argv[1]) if len(sys.argv) > 1 else 1_750_000
    text = "|".join(["CHR>5"] * terms)
    config = {"talents": {1: {"id": 1, "name": "t", "description": "d", "condition": text}},
              "events": {}, "ages": {}, "achievements": {}, "judge": {}}
    before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    start = time.perf_counter()
    core.init_config(config)
    elapsed = time.perf_counter() - start
    grown = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before
    print(f"{len(text) / 1e6:.1f} MB, {terms:,} terms: init_config {elapsed:.3f} s, "
          f"peak resident size +{grown / 1024:.0f} MiB")


if __name__ == "__main__":
    main()
