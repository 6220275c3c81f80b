"""_request and _bucket_request as they reach the HTTP client and the wire."""

import gzip

import httpx
import pytest
from recorder import Recorder

from corvault.dravik import DravikClient

MAY_24_2013 = 1369353600
AMZ_DATE = "20130524T000000Z"
HTTP_DATE = "Fri, 24 May 2013 00:00:00 GMT"
HTTPX_DEFAULT_TIMEOUT = {"connect": 5.0, "read": 5.0, "write": 5.0, "pool": 5.0}


@pytest.fixture
def make(recorder, frozen_time):
    frozen_time(MAY_24_2013)

    def factory(**kwargs):
        kwargs.setdefault("endpoint", "http://127.0.0.1:9000")
        return DravikClient("AK", "SK", kwargs.pop("bucket", "bkt"), http_client=recorder.client, **kwargs)

    return factory


class TestUrls:
    @pytest.mark.parametrize("endpoint, style, key, url, host", [
        ("http://127.0.0.1:9000", "path", "a b/c~d.txt", "http://127.0.0.1:9000/bkt/a%20b/c~d.txt", "127.0.0.1:9000"),
        ("http://127.0.0.1:9000", "virtual", "a b", "http://bkt.127.0.0.1:9000/a%20b", "bkt.127.0.0.1:9000"),
        ("https://s3.eu-west-1.amazonaws.com", "virtual", "é?#", "https://bkt.s3.eu-west-1.amazonaws.com/%C3%A9%3F%23",
         "bkt.s3.eu-west-1.amazonaws.com"),
        ("http://h:1", "path", "/lead", "http://h:1/bkt//lead", "h:1"),
        ("http://h:1", "path", "", "http://h:1/bkt/", "h:1"),
        ("http://h:1", "virtual", "", "http://bkt.h:1/", "bkt.h:1"),
    ])
    def test_object_urls_and_host(self, make, recorder, endpoint, style, key, url, host):
        make(endpoint=endpoint, addressing_style=style)._request("GET", key)
        call = recorder.last_call
        assert (call.method, call.url) == ("GET", url)
        assert call.headers_snapshot["Host"] == host

    @pytest.mark.parametrize("endpoint, style, bucket_name, url, host", [
        ("http://127.0.0.1:9000", "path", "", "http://127.0.0.1:9000/bkt/", "127.0.0.1:9000"),
        ("http://127.0.0.1:9000", "path", "other", "http://127.0.0.1:9000/other/", "127.0.0.1:9000"),
        ("http://127.0.0.1:9000", "virtual", "other", "http://other.127.0.0.1:9000/", "other.127.0.0.1:9000"),
    ])
    def test_bucket_urls_and_host(self, make, recorder, endpoint, style, bucket_name, url, host):
        make(endpoint=endpoint, addressing_style=style)._bucket_request("GET", bucket_name)
        assert recorder.last_call.url == url
        assert recorder.last_call.headers_snapshot["Host"] == host


class TestRequestHeaders:
    def test_v4_entries_are_added_in_order_to_the_callers_mapping(self, make, recorder):
        headers = {"x-amz-meta-a": "1"}
        make()._request("PUT", "k", headers=headers, data=b"body")
        assert recorder.last_call.kw("headers") is headers
        assert list(headers) == ["x-amz-meta-a", "Host", "x-amz-date", "x-amz-content-sha256", "Authorization"]
        assert headers["x-amz-date"] == AMZ_DATE
        assert headers["x-amz-content-sha256"] == "UNSIGNED-PAYLOAD"
        assert headers["Authorization"].startswith("AWS4-HMAC-SHA256 Credential=AK/20130524/us-east-1/s3/")
        sent = recorder.last
        assert sent.body == b"body" and sent.header("authorization") == headers["Authorization"]

    def test_v2_adds_date_and_nothing_of_v4(self, make, recorder):
        headers = {}
        make(signature_version="DRAVIK")._request("GET", "k", headers=headers)
        assert list(headers) == ["Host", "Date", "Authorization"]
        assert headers["Date"] == HTTP_DATE
        assert headers["Authorization"].startswith("AWS AK:")

    def test_present_entries_in_any_case_are_kept(self, make, recorder):
        headers = {"host": "custom:1", "X-AMZ-DATE": "20200101T000000Z", "X-Amz-Content-SHA256": "abc",
                   "Authorization": "old"}
        make()._request("GET", "k", headers=headers)
        assert list(headers) == ["host", "X-AMZ-DATE", "X-Amz-Content-SHA256", "Authorization"]
        assert headers["Authorization"] != "old"
        v2 = {"date": "yesterday", "x-amz-date": "kept"}
        make(signature_version="dravik")._request("GET", "k", headers=v2)
        assert list(v2) == ["date", "x-amz-date", "Host", "Authorization"]

    def test_reused_mapping_gets_only_a_new_signature(self, make, recorder, frozen_time):
        client, headers = make(), {}
        client._request("GET", "k", headers=headers)
        first = dict(headers)
        frozen_time(MAY_24_2013 + 3600)
        client._request("GET", "other", headers=headers)
        assert {k: v for k, v in headers.items() if k != "Authorization"} == \
            {k: v for k, v in first.items() if k != "Authorization"}
        assert headers["Authorization"] != first["Authorization"]

    def test_bucket_request_works_on_a_copy(self, make, recorder):
        headers = {"host": "lower:1", "Host": "replaced", "x-amz-meta-a": "1"}
        make()._bucket_request("PUT", "", headers=headers)
        assert headers == {"host": "lower:1", "Host": "replaced", "x-amz-meta-a": "1"}
        sent = recorder.last_call.kw("headers")
        assert sent is not headers
        assert list(sent) == ["host", "Host", "x-amz-meta-a", "x-amz-date", "x-amz-content-sha256", "Authorization"]
        assert sent["Host"] == "127.0.0.1:9000"

    def test_callers_payload_hash_is_signed(self, make, recorder):
        client = make()
        digest = "ab" * 32
        headers = {"X-Amz-Content-Sha256": digest}
        client._request("PUT", "k", headers=headers)
        expected = client._sign_request("PUT", "k", dict(headers), None, payload_hash=digest)
        assert headers["Authorization"] == expected
        copy_source = {"x-amz-content-sha256": digest}
        client._bucket_request("PUT", "b2", headers=copy_source)
        signed = recorder.last_call.kw("headers")
        assert signed["Authorization"] == client._sign_request("PUT", "", dict(signed), None, payload_hash=digest,
                                                               bucket="b2")

    def test_non_mapping_headers_fail_before_sending(self, make, recorder):
        with pytest.raises(TypeError, match="argument of type 'NoneType' is not"):
            make()._request("GET", "k", headers=None)
        assert recorder.calls == []


class TestKeywords:
    def test_request_keywords_in_the_callers_order(self, make, recorder):
        make()._request("PUT", "k", {"uploadId": "u", "partNumber": "1"}, data=b"x", headers={}, timeout=7)
        call = recorder.last_call
        assert call.keyword_names == ["headers", "content", "timeout"]
        assert call.url == recorder.last.url == "http://127.0.0.1:9000/bkt/k?uploadId=u&partNumber=1"

    def test_many_keywords_all_reach_the_client_in_order(self, make, recorder):
        given = {"content": b"x", "files": None, "json": None, "params": None, "cookies": None, "auth": None,
                 "follow_redirects": False, "timeout": 7, "extensions": {"trace": None}}
        make()._request("PUT", "k", **given)
        call = recorder.last_call
        assert call.keywords == [("headers", call.kw("headers")), *given.items()]

    @pytest.mark.parametrize("query, wire", [
        ({"prefix": "a b/c", "delimiter": "/"}, "prefix=a%20b%2Fc&delimiter=%2F"),
        ({"uploads": "", "x": "~é+&="}, "uploads=&x=~%C3%A9%2B%26%3D"),
        ({b"raw": b"\xff"}, "raw=%FF"),
    ])
    def test_query_is_sent_encoded_as_it_is_signed(self, make, recorder, query, wire):
        make()._request("GET", "k", query)
        assert recorder.last.url == "http://127.0.0.1:9000/bkt/k?" + wire

    def test_callers_params_win_but_the_signature_covers_query_params(self, make, recorder):
        client = make()
        client._request("GET", "k", {"acl": ""}, params={"other": "1"})
        assert recorder.last_call.kw("params") == {"other": "1"}
        assert recorder.last.url == "http://127.0.0.1:9000/bkt/k?other=1"
        headers = recorder.last_call.headers_snapshot
        assert headers["Authorization"] == client._sign_request("GET", "k", dict(headers), {"acl": ""})

    def test_empty_query_sends_no_query(self, make, recorder):
        make()._request("GET", "k", {})
        assert "params" not in recorder.last_call.keyword_names and recorder.last.url.endswith("/bkt/k")
        make()._bucket_request("GET", "", {})
        assert recorder.last_call.keyword_names == ["headers", "content"] and recorder.last.url.endswith("/bkt/")

    def test_bucket_request_keywords(self, make, recorder):
        make(timeout=9)._bucket_request("POST", "", {"delete": ""}, b"<x/>", {"Content-Type": "application/xml"})
        call = recorder.last_call
        assert call.keyword_names == ["headers", "content", "timeout"]
        assert (call.kw("content"), call.kw("timeout")) == (b"<x/>", 9)
        assert call.url == recorder.last.url == "http://127.0.0.1:9000/bkt/?delete="

    @pytest.mark.parametrize("default, given, keyword, on_wire", [
        (30, "absent", 30, {"connect": 30, "read": 30, "write": 30, "pool": 30}),
        (30, 5, 5, {"connect": 5, "read": 5, "write": 5, "pool": 5}),
        (30, None, 30, {"connect": 30, "read": 30, "write": 30, "pool": 30}),
        (None, None, None, {"connect": None, "read": None, "write": None, "pool": None}),
        (None, "absent", "absent", HTTPX_DEFAULT_TIMEOUT),
    ])
    def test_request_timeouts(self, make, recorder, default, given, keyword, on_wire):
        kwargs = {} if given == "absent" else {"timeout": given}
        make(timeout=default)._request("GET", "k", **kwargs)
        call = recorder.last_call
        assert call.kw("timeout", "absent") == keyword
        assert recorder.last.timeout == on_wire

    @pytest.mark.parametrize("default, given, keyword", [
        (30, None, 30), (30, 5, 5), (None, 5, 5), (None, None, "absent")])
    def test_bucket_request_timeouts(self, make, recorder, default, given, keyword):
        make(timeout=default)._bucket_request("HEAD", "", timeout=given)
        assert recorder.last_call.kw("timeout", "absent") == keyword
        if keyword == "absent":
            assert "timeout" not in recorder.last_call.keyword_names
            assert recorder.last.timeout == HTTPX_DEFAULT_TIMEOUT

    @pytest.mark.parametrize("body, keyword, wire", [
        (b"raw", "content", b"raw"), ("t\u00e9xt", "content", "t\u00e9xt".encode()),
        (iter([b"a", b"b"]), "content", b"ab"), ({"field": "v w"}, "data", b"field=v+w"), (None, "data", b""),
    ])
    def test_raw_bodies_go_as_content_and_mappings_as_form_data(self, make, recorder, body, keyword, wire):
        make()._request("PUT", "k", data=body, timeout=3)
        assert recorder.last_call.keyword_names == ["headers", keyword, "timeout"]
        assert recorder.last.body == wire

    def test_any_number_of_further_keywords_is_passed_on(self, make):
        class Client:
            def request(self, method, url, **kwargs):
                self.keywords = list(kwargs)
                return "answer"

        client = make()
        client._client = Client()
        extra = {f"option_{i}": i for i in range(40)}
        assert client._request("GET", "k", **extra, timeout=3) == "answer"
        assert client._client.keywords == ["headers", *extra, "timeout"]

    def test_bucket_request_data_must_be_bytes(self, make):
        with pytest.raises(TypeError, match=r"Argument 'data' has incorrect type \(expected bytes, got str\)"):
            make()._bucket_request("PUT", "", None, "text")


class TestDelegation:
    def test_signer_and_http_client_are_looked_up_on_the_object(self, make, recorder):
        calls = []

        class Custom(DravikClient):
            def _sign_request(self, *args, **kwargs):
                calls.append((args[:2], kwargs))
                return "custom"

        client = Custom("AK", "SK", "bkt", endpoint="http://h:1", http_client=recorder.client)
        client._bucket_request("GET", "b2")
        client._request("GET", "k", headers={"x-amz-content-sha256": "h"})
        assert calls == [(("GET", ""), {"bucket": "b2"}), (("GET", "k"), {"payload_hash": "h"})]
        assert recorder.sent[0].header("authorization") == "custom"

    def test_response_is_returned_unchanged_and_errors_propagate(self, make, recorder):
        answer = httpx.Response(503, text="busy")
        recorder.respond(answer)
        assert make()._request("GET", "k").status_code == 503

        def refuse(request):
            raise httpx.ConnectError("refused", request=request)

        recorder.respond(refuse)
        headers = {}
        with pytest.raises(httpx.ConnectError):
            make()._request("GET", "k", headers=headers)
        assert "Authorization" in headers  # completed before the failure


class TestStreamedRequest:
    """`stream=True`: the request built and sent with send(stream=True), its body left unread."""

    @pytest.fixture
    def recorder(self):
        return Recorder(streaming=True)

    def test_the_body_is_left_unread_for_the_bytes_as_sent(self, make, recorder):
        stored = gzip.compress(b"corvault " * 100)
        recorder.respond(httpx.Response(200, headers={"Content-Encoding": "gzip"}, stream=httpx.ByteStream(stored)))
        response = make()._request("GET", "k", headers={"Range": "bytes=0-"}, stream=True)
        try:
            assert not response.is_stream_consumed
            assert b"".join(response.iter_raw()) == stored
        finally:
            response.close()
        call = recorder.last_call
        assert (call.via, call.method, call.url) == ("build_request", "GET", "http://127.0.0.1:9000/bkt/k")
        assert call.keyword_names == ["headers"]
        assert list(call.headers_snapshot) == ["Range", "Host", "x-amz-date", "x-amz-content-sha256", "Authorization"]
        assert call.send_keywords == [("stream", True)]
        assert recorder.last.timeout == HTTPX_DEFAULT_TIMEOUT

    def test_keywords_go_where_httpx_takes_them(self, make, recorder):
        response = make(timeout=4)._request("PUT", "x/../k", {"a": "b c"}, stream=True, follow_redirects=True,
                                            auth=None, data=b"body")
        response.close()
        call = recorder.last_call
        assert call.keyword_names == ["headers", "content", "timeout", "extensions"]
        assert call.kw("extensions") == {"target": "/bkt/x/../k?a=b%20c"}
        assert call.send_keywords == [("stream", True), ("auth", None), ("follow_redirects", True)]
        assert (recorder.last.timeout["read"], recorder.last.body) == (4, b"body")

    @pytest.mark.parametrize("stream", [False, None, 0])
    def test_a_false_stream_sends_as_before(self, make, recorder, stream):
        response = make()._request("GET", "k", stream=stream)
        assert response.is_stream_consumed
        assert (recorder.last_call.via, recorder.last_call.keyword_names) == ("request", ["headers"])
