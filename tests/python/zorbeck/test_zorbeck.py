"""ZorbeckClient: a DravikClient preset for Tencent Cloud Object Storage."""

import inspect
import re

import httpx
import pytest

import corvault.zorbeck as zorbeck
from corvault.dravik import DravikClient
from corvault.zorbeck import ZorbeckClient


def test_defaults_and_attributes():
    client = ZorbeckClient("SID", "SKEY", "photos-1250000000")
    assert isinstance(client, DravikClient)
    assert vars(client) | {"_client": None} == {
        "access_key": "SID", "secret_key": "SKEY", "bucket": "photos-1250000000", "region": "ap-guangzhou",
        "internal": False, "default_timeout": None, "signature_version": "v4", "addressing_style": "virtual",
        "endpoint": "https://cos.ap-guangzhou.myqcloud.com", "_custom_domain": False,
        "domain_url": "https://cos.ap-guangzhou.myqcloud.com", "_client": None}
    assert type(client._client) is httpx.Client


def test_all_arguments_by_position_and_region_unchanged():
    http = object()
    client = ZorbeckClient("SID", "SKEY", "b-1", "AP-Shanghai", "https://cdn.example.com/", 12, http)
    assert client.endpoint == "https://cos.AP-Shanghai.myqcloud.com"
    assert (client.domain_url, client._custom_domain, client.default_timeout, client._client) == \
        ("https://cdn.example.com", True, 12, http)
    assert ZorbeckClient("SID", "SKEY", "b-1", domain_url="", http_client=http).domain_url == \
        "https://cos.ap-guangzhou.myqcloud.com"


@pytest.mark.parametrize("kwargs", [{"endpoint": "https://x"}, {"internal": True}, {"signature_version": "dravik"},
                                    {"addressing_style": "path"}, {"access_key": "a"}])
def test_other_keywords_are_refused(kwargs):
    obj = object.__new__(ZorbeckClient)
    with pytest.raises(TypeError, match=f"got an unexpected keyword argument '{next(iter(kwargs))}'"):
        obj.__init__("SID", "SKEY", "b-1", **kwargs)
    assert vars(obj) == {}
    with pytest.raises(TypeError, match="takes from 4 to 8 positional arguments but 9 were given"):
        ZorbeckClient("SID", "SKEY", "b-1", "r", None, None, None, "extra")
    with pytest.raises(TypeError, match=r"Argument 'region' has incorrect type \(expected str, got int\)"):
        ZorbeckClient("SID", "SKEY", "b-1", 5)


@pytest.mark.parametrize("bucket, appid", [("my-photos-1250000000", "1250000000"), ("nohyphen", ""),
                                           ("ends-", ""), ("a-b", "b")])
def test_properties(bucket, appid):
    client = ZorbeckClient("SID", "SKEY", bucket, http_client=object())
    assert (client.secret_id, client.cos_bucket, client.appid) == ("SID", bucket, appid)


def test_properties_follow_the_attributes_and_are_read_only():
    client = ZorbeckClient("SID", "SKEY", "b-1", http_client=object())
    client.access_key, client.bucket = "NEW", "other-7"
    assert (client.secret_id, client.cos_bucket, client.appid) == ("NEW", "other-7", "7")
    for name in ("secret_id", "cos_bucket", "appid"):
        with pytest.raises(AttributeError):
            setattr(client, name, "x")
    client.access_key = 5
    with pytest.raises(TypeError, match="Expected str, got int"):
        client.secret_id
    client.access_key = None
    assert client.secret_id is None


def test_class_shape():
    assert ZorbeckClient.__bases__ == (DravikClient,) and ZorbeckClient.__module__ == "corvault.zorbeck"
    assert [n for n in vars(ZorbeckClient) if not n.startswith("__") or n == "__init__"] == \
        ["__init__", "secret_id", "cos_bucket", "appid"]
    assert list(inspect.signature(ZorbeckClient).parameters) == [
        "secret_id", "secret_key", "bucket", "region", "domain_url", "timeout", "http_client"]
    assert zorbeck.DravikClient is DravikClient and zorbeck.httpx is httpx


def test_subclass_constructor_chain():
    class Mine(ZorbeckClient):
        def __init__(self, *args, **kwargs):
            super().__init__(*args, **kwargs)
            self.mine = True

    client = Mine("SID", "SKEY", "b-1", "ap-beijing", http_client=object())
    assert client.mine and client.endpoint == "https://cos.ap-beijing.myqcloud.com"


def test_request_goes_to_the_bucket_virtual_host_with_a_cos_scope(recorder, frozen_time):
    frozen_time(1700000000)
    client = ZorbeckClient("SID", "SKEY", "photos-1250000000", "ap-guangzhou", http_client=recorder.client)
    client._request("GET", "dir/a b.jpg")
    sent = recorder.last
    assert sent.url == "https://photos-1250000000.cos.ap-guangzhou.myqcloud.com/dir/a%20b.jpg"
    assert sent.header("host") == "photos-1250000000.cos.ap-guangzhou.myqcloud.com"
    assert re.match(r"AWS4-HMAC-SHA256 Credential=SID/20231114/ap-guangzhou/s3/aws4_request, "
                    r"SignedHeaders=host;x-amz-content-sha256;x-amz-date, Signature=[0-9a-f]{64}$",
                    sent.header("authorization"))
    assert client.get_path_url("k") == "https://photos-1250000000.cos.ap-guangzhou.myqcloud.com/k"
