"""Construction, the request primitive and the object operations as they reach the wire."""

import io

import httpx
import pytest

from corvault.base import BaseStorageClient
from corvault.kestry import KestryOSSClient
from kestry_values import EP, HOST, OSS_DATE

INTERNAL = "https://bucket.oss-cn-hangzhou-internal.aliyuncs.com"
HTTPX_DEFAULT = {"connect": 5.0, "read": 5.0, "write": 5.0, "pool": 5.0}


def seconds(value):
    return {"connect": value, "read": value, "write": value, "pool": value}


class TestConstruction:
    def test_attributes_in_order(self, recorder):
        client = KestryOSSClient("id", "secret", "photos", timeout=3, http_client=recorder.client)
        assert isinstance(client, BaseStorageClient)
        assert list(vars(client).items()) == [
            ("access_key_id", "id"), ("access_key_secret", "secret"), ("bucket", "photos"),
            ("region", "oss-cn-hangzhou"), ("internal", False), ("default_timeout", 3),
            ("external_url", "https://photos.oss-cn-hangzhou.aliyuncs.com"),
            ("intranet_url", "https://photos.oss-cn-hangzhou-internal.aliyuncs.com"),
            ("host", "https://photos.oss-cn-hangzhou.aliyuncs.com"), ("_custom_domain", False),
            ("domain_url", "https://photos.oss-cn-hangzhou.aliyuncs.com"), ("_client", recorder.client),
        ]

    @pytest.mark.parametrize("internal, expected", [(1, True), ("x", True), (0, False), ("", False), (None, False)])
    def test_internal_by_truth_value(self, internal, expected):
        client = KestryOSSClient("id", "secret", "b", "cn-beijing", internal)
        assert client.internal is expected
        assert client.host == ("https://b.cn-beijing-internal.aliyuncs.com" if expected
                               else "https://b.cn-beijing.aliyuncs.com")
        assert type(client._client) is httpx.Client

    @pytest.mark.parametrize("domain_url, custom, stored", [
        (None, False, INTERNAL), ("", True, INTERNAL), ("https://cdn.example.com//", True, "https://cdn.example.com"),
        ("///", True, ""),
    ])
    def test_custom_domain(self, domain_url, custom, stored):
        client = KestryOSSClient("id", "secret", "bucket", internal=True, domain_url=domain_url)
        assert (client._custom_domain, client.domain_url) == (custom, stored)


class TestRequest:
    @pytest.mark.parametrize("key, url", [
        ("a b/c?#é~", EP + "/a%20b/c%3F%23%C3%A9~"), ("", EP + "/"), ("/lead//x", EP + "//lead//x"),
    ])
    def test_url_and_host(self, make, recorder, key, url):
        make()._request("GET", key)
        assert recorder.last_call.url == url
        assert recorder.last.header("host") == HOST

    def test_entries_are_added_in_order_to_the_callers_mapping(self, make, recorder):
        headers = {"x-oss-meta-a": "1"}
        make()._request("PUT", "k", headers=headers)
        assert recorder.last_call.kw("headers") is headers
        assert list(headers) == ["x-oss-meta-a", "Host", "x-oss-content-sha256", "x-oss-date", "Authorization"]
        assert headers["Host"] == HOST and headers["x-oss-date"] == OSS_DATE
        assert headers["x-oss-content-sha256"] == "UNSIGNED-PAYLOAD"
        assert recorder.last.header("authorization") == headers["Authorization"]

    def test_present_entries_in_any_case_are_kept(self, make, recorder):
        headers = {"host": "h:1", "X-OSS-DATE": "20200101T000000Z", "X-Oss-Content-Sha256": "x", "Authorization": "old"}
        make()._request("GET", "k", headers=headers)
        assert list(headers) == ["host", "X-OSS-DATE", "X-Oss-Content-Sha256", "Authorization"]
        assert headers["Authorization"].startswith("OSS4-HMAC-SHA256 Credential=ak/20200101/cn-hangzhou/oss/")

    def test_the_signer_is_called_through_self_with_the_completed_mapping(self, make, recorder):
        seen = []

        class Client(KestryOSSClient):
            def _sign_request(self, *args, **kwargs):
                seen.append((args, kwargs, list(args[2])))
                return "signed"

        client = Client("ak", "sk", "bucket", http_client=recorder.client)
        headers, query = {}, {"uploads": ""}
        client._request("POST", "a b", query_params=query, headers=headers)
        (args, kwargs, names), = seen
        assert args[:2] == ("POST", "a b") and args[2] is headers and args[3] is query and kwargs == {}
        assert names == ["Host", "x-oss-content-sha256", "x-oss-date"]
        assert headers["Authorization"] == "signed"

    @pytest.mark.parametrize("query, url", [
        ({"prefix": "a b/c", "uploads": ""}, EP + "/k?prefix=a%20b%2Fc&uploads="),
        ({"x": "+é"}, EP + "/k?x=%2B%C3%A9"),
        ({}, EP + "/k"),
    ])
    def test_query_travels_in_the_url_as_signed(self, make, recorder, query, url):
        make()._request("GET", "k", query_params=query)
        assert recorder.last_call.url == url and "params" not in recorder.last_call.keyword_names
        assert recorder.last.url == url

    def test_a_callers_params_wins(self, make, recorder):
        make()._request("GET", "k", query_params={"a": "1"}, params={"b": "2"})
        assert recorder.last_call.url == EP + "/k" and recorder.last.url == EP + "/k?b=2"

    @pytest.mark.parametrize("default, given, sent", [
        (None, "absent", HTTPX_DEFAULT), (None, None, seconds(None)), (7, "absent", seconds(7)), (7, None, seconds(7)),
        (7, 2, seconds(2)),
    ])
    def test_timeout(self, make, recorder, default, given, sent):
        kwargs = {} if given == "absent" else {"timeout": given}
        make(timeout=default)._request("GET", "k", **kwargs)
        assert recorder.last.timeout == sent

    @pytest.mark.parametrize("data, body", [(b"\x00raw", b"\x00raw"), ("héllo", "héllo".encode())])
    def test_raw_bodies_go_as_content(self, make, recorder, data, body):
        make()._request("PUT", "k", data=data, headers={"x-oss-meta-a": "1"})
        assert recorder.last_call.keyword_names == ["headers", "content"]
        assert recorder.last.body == body

    def test_form_data_stays_data(self, make, recorder):
        make()._request("POST", "k", data={"a": "1 2"})
        assert recorder.last_call.keyword_names == ["headers", "data"] and recorder.last.body == b"a=1+2"


@pytest.fixture
def spy(recorder, make):
    """A client whose _request records how the operations call it, then sends as usual."""
    calls = []

    class Client(KestryOSSClient):
        def _request(self, *args, **kwargs):
            calls.append((args, list(kwargs), {k: (dict(v) if isinstance(v, dict) else v) for k, v in kwargs.items()}))
            return super()._request(*args, **kwargs)

    make()  # freezes the clock
    client = Client("ak", "sk", "bucket", timeout=30, http_client=recorder.client)
    client.calls = calls
    return client


class TestObjectOperations:
    def test_upload(self, spy, recorder):
        headers = {"x-oss-meta-a": "1", "Content-Type": "old"}
        source = io.BytesIO(b"file body")
        spy.upload("a b", source, content_type="text/plain", content_md5="bWQ1", headers=headers)
        (args, names, kw), = spy.calls
        assert args == ("PUT", "a b") and names == ["data", "headers", "timeout"]
        assert kw["headers"] == {"x-oss-meta-a": "1", "Content-Type": "text/plain", "Content-MD5": "bWQ1"}
        assert headers == {"x-oss-meta-a": "1", "Content-Type": "old"}
        assert recorder.last.body == b"file body" and source.read() == b""
        assert recorder.last.timeout == seconds(30)

    def test_upload_without_content_type_or_md5(self, spy, recorder):
        spy.upload("k", "tëxt", content_type="", content_md5="")
        assert spy.calls[0][2]["headers"] == {}
        assert recorder.last.body == "tëxt".encode() and recorder.last.header("content-md5") is None

    @pytest.mark.parametrize("operation, method", [("_download", "GET"), ("head", "HEAD"), ("delete", "DELETE")])
    def test_plain_operations_leave_the_callers_mapping_alone(self, spy, recorder, operation, method):
        headers = {"Range": "bytes=0-1"}
        getattr(spy, operation)("k", headers=headers)
        getattr(spy, operation)("k", headers=headers)
        assert headers == {"Range": "bytes=0-1"}
        assert [(c[0], c[1]) for c in spy.calls] == [((method, "k"), ["headers", "timeout"])] * 2
        assert recorder.last.method == method and recorder.last.header("range") == "bytes=0-1"

    @pytest.mark.parametrize("kwargs, sent", [({}, seconds(10)), ({"timeout": None}, seconds(30)),
                                              ({"timeout": 1.5}, seconds(1.5))])
    def test_head_timeout(self, spy, recorder, kwargs, sent):
        spy.head("k", **kwargs)
        assert recorder.last.timeout == sent

    @pytest.mark.parametrize("kwargs, url", [
        ({}, EP + "/a%20b/%E6%96%87"), ({"internal": True}, INTERNAL + "/a%20b/%E6%96%87"),
        ({"domain_url": "https://cdn.example.com/"}, "https://cdn.example.com/a%20b/%E6%96%87"),
    ])
    def test_get_path_url(self, make, recorder, kwargs, url):
        assert make(**kwargs).get_path_url("a b/文") == url
        assert recorder.sent == []
