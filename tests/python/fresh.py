"""A test's script run in a new interpreter: for what must not touch the test process (a changed
user, a replaced io.open, memory that -X dev or PYTHONMALLOC=debug watches). It runs from this
folder, so it imports the recorder and the test modules."""

import os
import subprocess
import sys


def run_script(script, *args, flags=(), runner=(), env=None):
    """The standard output of `[*runner, python, *flags, "-c", script, *args]`, which must exit
    with status 0 within a minute (else the test fails with the end of its standard error)."""
    done = subprocess.run([*runner, sys.executable, *flags, "-c", script, *map(str, args)], env=env,
                          cwd=os.path.dirname(__file__), capture_output=True, text=True, timeout=60)
    assert done.returncode == 0, done.stderr[-2000:]
    return done.stdout
