# Sourced by the scripts: picks the Python interpreter to build and test with.
# $PYTHON wins; then the project's own .venv, which setup makes on systems whose
# Python refuses installs by pip (Debian's own python3); then python3.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if [ -n "${PYTHON:-}" ]; then
  py=$PYTHON
elif [ -x "$root/.venv/bin/python" ]; then
  py=$root/.venv/bin/python
  export PATH="$root/.venv/bin:$PATH"  # cmake and ninja from PyPI live there
else
  py=python3
fi
