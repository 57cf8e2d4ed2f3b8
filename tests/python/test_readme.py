"""Every Python block of README.md runs as written in a fresh interpreter, on
its own, in a folder that looks like the project root (its top-level entries
linked in), so that files a block writes land elsewhere."""

import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

import pellorine

ROOT = Path(__file__).resolve().parents[2]
BLOCKS = re.findall(r"^```python\n(.*?)^```", (ROOT / "README.md").read_text(encoding="utf-8"), re.M | re.S)


@pytest.mark.parametrize("code", BLOCKS or [None], ids=[f"block{i + 1}" for i in range(len(BLOCKS) or 1)])
def test_readme_block_runs(code, tmp_path):
    assert code is not None, "README.md has no Python block"
    for entry in ROOT.iterdir():
        (tmp_path / entry.name).symlink_to(entry)
    env = dict(os.environ)
    module_dir = str(Path(pellorine.__file__).resolve().parent)
    env["PYTHONPATH"] = os.pathsep.join(filter(None, [module_dir, env.get("PYTHONPATH")]))
    run = subprocess.run([sys.executable, "-c", code], cwd=tmp_path, env=env, capture_output=True, text=True,
                         timeout=120)
    assert run.returncode == 0, run.stderr
