import os
import sys

import pytest

sys.path.insert(0, os.path.dirname(__file__))

from recorder import Recorder  # noqa: E402


@pytest.fixture
def recorder():
    return Recorder()


@pytest.fixture
def frozen_time(monkeypatch):
    """Freezes time.time() at a given epoch second: frozen_time(1369353600.0)."""
    import time

    def freeze(epoch):
        monkeypatch.setattr(time, "time", lambda: float(epoch))
        return epoch

    return freeze


from s3server import s3_server, s3_server_checked  # noqa: E402,F401  (session fixtures)
