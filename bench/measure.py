"""Time and peak memory of one step, each benchmark step in a fresh process.

A benchmark script runs itself as a worker (`--worker MODE PATH --repeat N`)
through `run_worker`, so that one step's peak does not hide another's; the
worker times its step with `best_and_peak` and prints the result as JSON.
The first worker of each module directory prints which module file it
imports: without PYTHONPATH that is whatever pellorine is installed.
"""

from __future__ import annotations

import functools
import gc
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


def worker_env(module_dir: str | None = None) -> dict:
    """The environment of a fresh interpreter that imports pellorine from
    `module_dir` when given (this process's own PYTHONPATH otherwise)."""
    env = dict(os.environ)
    if module_dir:
        env["PYTHONPATH"] = str(module_dir)
    return env


def announce(module_dir: str | None = None) -> str:
    """Prints, once per directory, the module file a fresh interpreter imports; returns it."""
    return _announce(str(module_dir) if module_dir else None)


@functools.cache
def _announce(module_dir: str | None) -> str:
    out = subprocess.run([sys.executable, "-c", "import pellorine; print(pellorine.__file__)"],
                         check=True, capture_output=True, text=True, env=worker_env(module_dir))
    path = out.stdout.strip()
    print(f"measuring {path}", flush=True)
    return path


def run_worker(script: str, mode: str, path: Path, repeat: int, module_dir: str | None = None) -> dict:
    """Runs `script --worker MODE PATH --repeat N` in a fresh interpreter (with the
    module from `module_dir` when given) and returns the JSON it prints."""
    announce(module_dir)
    out = subprocess.run(
        [sys.executable, script, "--worker", mode, str(path), "--repeat", str(repeat)],
        check=True, capture_output=True, text=True, env=worker_env(module_dir),
    )
    return json.loads(out.stdout)


def compared(against: str | None) -> list[tuple[str, str | None]]:
    """(label, module dir) of each module a comparison measures: the build in
    `against` first when given, then this process's; each module file announced."""
    modules = ([("before", against)] if against else []) + [("after" if against else "this", None)]
    for _, module_dir in modules:
        announce(module_dir)
    return modules


def repeats(repeat: int, people: int) -> int:
    """More runs for small files, whose times the machine's noise swamps."""
    return max(repeat, min(50, 100_000 // people))


def collector_paused(call):
    """`call` with the cyclic collector turned off around it, as a caller may do."""
    def paused():
        gc.disable()
        try:
            return call()
        finally:
            gc.enable()

    return paused
