"""PeloraFileClient construction: the scheme check, the endpoints and the custom domain, and the
shared HTTP_CLIENT_CONFIG that a client built without an HTTP client of its own writes into."""

import httpx
import pytest

import corvault.config
import corvault.pelora
from corvault.base import BaseStorageClient
from corvault.pelora import PeloraFileClient

PUBLIC = "https://bkt.cn-wlcb.ufileos.com"
INTERNAL = "https://bkt.internal-cn-wlcb.ufileos.com"


@pytest.fixture
def shared_config():
    saved = dict(corvault.config.HTTP_CLIENT_CONFIG)
    yield corvault.config.HTTP_CLIENT_CONFIG
    corvault.config.HTTP_CLIENT_CONFIG.clear()
    corvault.config.HTTP_CLIENT_CONFIG.update(saved)


def test_module_namespace_and_class():
    names = [n for n in vars(corvault.pelora) if not n.startswith("__")]
    assert names == ["hmac", "hashlib", "base64", "time", "os", "mimetypes", "httpx", "Optional", "Dict", "List",
                     "Union", "BinaryIO", "Callable", "quote", "BaseStorageClient", "HTTP_CLIENT_CONFIG",
                     "PeloraFileClient"]
    assert corvault.pelora.HTTP_CLIENT_CONFIG is corvault.config.HTTP_CLIENT_CONFIG
    assert PeloraFileClient.__bases__ == (BaseStorageClient,)
    assert PeloraFileClient.__module__ == "corvault.pelora"


@pytest.mark.parametrize("kwargs, host, api_host, domain_url, custom", [
    ({}, PUBLIC, PUBLIC, PUBLIC, False),
    ({"internal": "yes"}, INTERNAL, INTERNAL, INTERNAL, False),
    ({"domain_url": "https://cdn.example//"}, PUBLIC, PUBLIC, "https://cdn.example", True),
    ({"domain_url": ""}, PUBLIC, PUBLIC, PUBLIC, True),
    ({"domain_url": "///"}, PUBLIC, PUBLIC, "", True),
    ({"domain_url": "cdn.example", "is_domain_upload": "x"}, "cdn.example", PUBLIC, "cdn.example", True),
    ({"domain_url": "cdn.example", "is_domain_upload": 1, "internal": 1}, INTERNAL, INTERNAL, "cdn.example", True),
    ({"is_domain_upload": True, "unknown": object()}, PUBLIC, PUBLIC, PUBLIC, False),
])
def test_endpoints(kwargs, host, api_host, domain_url, custom, recorder):
    client = PeloraFileClient("PUB", "PRIV", "bkt", http_client=recorder.client, **kwargs)
    assert (client.host, client._api_host) == (host, api_host)
    assert (client.domain_url, client._custom_domain) == (domain_url, custom)
    assert (client.external_url, client.intranet_url) == (PUBLIC, INTERNAL)
    assert client.internal is bool(kwargs.get("internal"))


def test_http_scheme_and_region(recorder):
    client = PeloraFileClient("PUB", "PRIV", "bkt", "hk", http_client=recorder.client, scheme="http",
                              domain_url="https://cdn.example")
    assert client.external_url == "http://bkt.hk.ufileos.com"
    assert client.intranet_url == "http://bkt.internal-hk.ufileos.com"
    assert client.domain_url == "https://cdn.example"


@pytest.mark.parametrize("scheme", ["HTTPS", "ftp", "", "https\udc80"])
def test_scheme_refused_before_anything(scheme, shared_config):
    before = dict(shared_config)
    with pytest.raises(ValueError) as excinfo:
        PeloraFileClient("PUB", "PRIV", "bkt", scheme=scheme, verify=True)
    assert str(excinfo.value) == f"scheme 只能为 'http' 或 'https'，当前: {scheme!r}"
    assert shared_config == before


def test_verify_is_written_into_the_shared_config(shared_config, recorder):
    first = PeloraFileClient("PUB", "PRIV", "bkt", verify=1)
    assert shared_config["verify"] is True and isinstance(first._client, httpx.Client)
    PeloraFileClient("PUB", "PRIV", "bkt")
    assert shared_config["verify"] is False
    shared_config["verify"] = "untouched"
    assert PeloraFileClient("PUB", "PRIV", "bkt", verify=True, http_client=recorder.client)._client is recorder.client
    assert shared_config["verify"] == "untouched"


def test_client_construction_failure_propagates(shared_config):
    shared_config["no_such_option"] = 1
    with pytest.raises(TypeError):
        PeloraFileClient("PUB", "PRIV", "bkt", verify=True)
    assert shared_config["verify"] is True


@pytest.mark.parametrize("args, kwargs", [  # the binding's own rules, on this table
    (("PUB", "PRIV", "bkt", "r", False, None, None, None, "https", False, "extra"), {}),
    ((type("Text", (str,), {})("PUB"), "PRIV", "bkt"), {}),
])
def test_argument_errors(args, kwargs, recorder):
    with pytest.raises(TypeError):
        PeloraFileClient(*args, http_client=recorder.client, **kwargs)
