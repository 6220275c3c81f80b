"""DravikClient construction: attributes, their order, endpoints and domains."""

import httpx
import pytest

from corvault.dravik import DravikClient

ATTRIBUTE_ORDER = ["access_key", "secret_key", "bucket", "region", "internal", "default_timeout",
                   "signature_version", "addressing_style", "endpoint", "_custom_domain", "domain_url",
                   "_client"]


def make(**kwargs):
    kwargs.setdefault("http_client", object())
    return DravikClient("AK", "SK", "bucket", **kwargs)


def test_defaults_and_attribute_order():
    client = DravikClient("AK", "SK", "bucket")
    assert list(vars(client)) == ATTRIBUTE_ORDER
    assert vars(client) | {"_client": None} == {
        "access_key": "AK", "secret_key": "SK", "bucket": "bucket", "region": "us-east-1",
        "internal": False, "default_timeout": None, "signature_version": "v4",
        "addressing_style": "path", "endpoint": "https://s3.amazonaws.com", "_custom_domain": False,
        "domain_url": "https://s3.amazonaws.com", "_client": None}
    assert type(client._client) is httpx.Client


def test_all_arguments_by_position():
    http = object()
    client = DravikClient("AK", "SK", "b", "eu-west-1", 1, "http://h:9000/", "https://cdn/", 30, http,
                          "DRAVIK", "Virtual")
    assert [getattr(client, name) for name in ATTRIBUTE_ORDER] == [
        "AK", "SK", "b", "eu-west-1", True, 30, "dravik", "virtual", "http://h:9000", True, "https://cdn",
        http]


@pytest.mark.parametrize("region, internal, endpoint", [
    ("us-east-1", False, "https://s3.amazonaws.com"),
    ("us-east-1", True, "https://s3.amazonaws.com"),
    ("eu-west-1", False, "https://s3.eu-west-1.amazonaws.com"),
    ("eu-west-1", True, "https://s3.eu-west-1.amazonaws.com"),
    ("US-EAST-1", False, "https://s3.US-EAST-1.amazonaws.com"),   # case-sensitive, inserted unchanged
    (" us-east-1", False, "https://s3. us-east-1.amazonaws.com"),
])
def test_endpoint_from_region(region, internal, endpoint):
    client = make(region=region, internal=internal)
    assert client.endpoint == endpoint
    assert client._get_aws_endpoint(region, internal) == endpoint
    assert client.internal is bool(internal)


@pytest.mark.parametrize("given, stored", [
    ("", "https://s3.amazonaws.com"),                       # empty counts as absent
    ("http://127.0.0.1:9000", "http://127.0.0.1:9000"),
    ("http://127.0.0.1:9000///", "http://127.0.0.1:9000"),
    ("https://host/prefix/", "https://host/prefix"),
    ("minio.local", "minio.local"),                          # no scheme: accepted unchanged
    ("//", ""),                                              # given, so not from the region
])
def test_given_endpoint_loses_trailing_slashes(given, stored):
    assert make(endpoint=given).endpoint == stored


@pytest.mark.parametrize("domain_url, custom, stored", [
    (None, False, "http://h:1"),
    ("", True, "http://h:1"),
    ("https://cdn.example.com//", True, "https://cdn.example.com"),
    ("https://cdn.example.com/base", True, "https://cdn.example.com/base"),
])
def test_custom_domain(domain_url, custom, stored):
    client = make(endpoint="http://h:1", domain_url=domain_url)
    assert client._custom_domain is custom
    assert client.domain_url == stored


def test_versions_and_styles_are_lower_cased_like_python():
    client = make(signature_version="DrAvIk", addressing_style="VIRTUAL")
    assert (client.signature_version, client.addressing_style) == ("dravik", "virtual")
    client = make(signature_version="ÄV4", addressing_style="Straße")
    assert (client.signature_version, client.addressing_style) == ("äv4", "straße")


def test_http_client_is_the_callers_or_a_new_one():
    shared = httpx.Client()
    first, second = make(http_client=shared), make(http_client=shared)
    assert first._client is shared and second._client is shared
    own_a, own_b = DravikClient("a", "s", "b"), DravikClient("a", "s", "b")
    assert own_a._client is not own_b._client


def test_subclass_from_python_is_honoured():
    calls = []

    class Custom(DravikClient):
        def _get_aws_endpoint(self, region, internal=False):
            calls.append((region, internal))
            return "https://storage.example/" + region

        def __setattr__(self, name, value):
            calls.append(name)
            super().__setattr__(name, value)

    client = Custom("a", "s", "b", region="r1", internal="yes")
    assert client.endpoint == client.domain_url == "https://storage.example/r1"
    assert ("r1", True) in calls
    assert [c for c in calls if isinstance(c, str)] == ATTRIBUTE_ORDER
    assert isinstance(client, DravikClient)


def test_subclass_constructor_can_extend():
    class WithExtra(DravikClient):
        def __init__(self, *args, extra=None, **kwargs):
            super().__init__(*args, **kwargs)
            self.extra = extra

    client = WithExtra("a", "s", "b", extra=1, region="ap-south-1")
    assert client.extra == 1 and client.endpoint == "https://s3.ap-south-1.amazonaws.com"
    assert list(vars(client)) == ATTRIBUTE_ORDER + ["extra"]


def test_constructor_returns_none_and_sends_nothing():
    sent = []
    transport = httpx.MockTransport(lambda request: sent.append(request) or httpx.Response(200))
    client = DravikClient("a", "s", "b", http_client=httpx.Client(transport=transport))
    assert client.__init__("a", "s", "b") is None
    assert sent == []
