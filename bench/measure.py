"""Time and peak memory of one step, each benchmark step in a fresh process.

A benchmark script runs itself as a worker (`--worker MODE PATH --repeat N`)
through `run_worker`, so that one step's peak does not hide another's; the
worker times its step with `best_and_peak` and prints the result as JSON.
"""

from __future__ import annotations

import json
import os
import subprocess
import sys
import time
from pathlib import Path


def status_kib(field: str) -> int:
    """A size from /proc/self/status ("VmHWM", "VmRSS"), in KiB; 0 where there is none."""
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def reset_peak() -> int:
    """Starts the peak afresh (Linux); returns the resident size now, in KiB."""
    try:
        with open("/proc/self/clear_refs", "w") as f:
            f.write("5")
    except OSError:
        pass
    return status_kib("VmRSS")


def best_and_peak(step, repeat: int) -> dict:
    """The best time of `step` over `repeat` runs, and the largest peak any run
    reached beyond what the process held before it."""
    best = float("inf")
    peak = 0
    for _ in range(repeat):
        before = reset_peak()
        start = time.perf_counter()
        result = step()
        best = min(best, time.perf_counter() - start)
        peak = max(peak, status_kib("VmHWM") - before)
        del result
    return {"seconds": best, "peak_bytes": max(peak, 0) * 1024}


def run_worker(script: str, mode: str, path: Path, repeat: int, module_dir: str | None = None) -> dict:
    """Runs `script --worker MODE PATH --repeat N` in a fresh interpreter (with the
    module from `module_dir` when given) and returns the JSON it prints."""
    env = dict(os.environ)
    if module_dir:
        env["PYTHONPATH"] = module_dir
    out = subprocess.run(
        [sys.executable, script, "--worker", mode, str(path), "--repeat", str(repeat)],
        check=True, capture_output=True, text=True, env=env,
    )
    return json.loads(out.stdout)
