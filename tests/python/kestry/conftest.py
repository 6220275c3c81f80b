import pytest

from corvault.kestry import KestryOSSClient
from kestry_values import DEC_16_2023


@pytest.fixture
def make(recorder, frozen_time):
    """A client on the recorder at a frozen clock: make(bucket="b", region=..., ...)."""
    frozen_time(DEC_16_2023)

    def factory(**kwargs):
        kwargs.setdefault("http_client", recorder.client)
        return KestryOSSClient(kwargs.pop("ak", "ak"), kwargs.pop("sk", "sk"), kwargs.pop("bucket", "bucket"), **kwargs)

    return factory
