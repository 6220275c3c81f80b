"""UFile's documented header signature, written from the documentation for comparison:
Base64(HMAC-SHA1(private key, verb\\nContent-MD5\\nContent-Type\\nDate\\n + x-ucloud lines + /bucket/key))."""

import base64
import hashlib
import hmac

import pytest

from corvault.pelora import PeloraFileClient

HOST = "https://bkt.cn-wlcb.ufileos.com"


def signature(private_key, method, resource, md5="", ctype="", date="", vendor=()):
    block = "".join(f"{name.lower()}:{value}\n" for name, value in sorted(vendor))
    text = f"{method}\n{md5}\n{ctype}\n{date}\n{block}{resource}"
    return base64.b64encode(hmac.new(private_key.encode(), text.encode(), hashlib.sha1).digest()).decode()


def auth(method, key, **parts):
    """The Authorization value of the test client PUB/PRIV on bucket bkt."""
    return "UCloud PUB:" + signature("PRIV", method, "/bkt/" + key, **parts)


@pytest.fixture
def make(recorder):
    def factory(**kwargs):
        kwargs.setdefault("http_client", recorder.client)
        return PeloraFileClient("PUB", "PRIV", "bkt", **kwargs)
    return factory


def wire_timeout(value):
    return {name: value for name in ("connect", "read", "write", "pool")}
