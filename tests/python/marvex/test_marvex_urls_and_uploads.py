"""The download domain with its cache and fallback, signed URLs, the object fetch, the form
upload and the block steps, as they reach the HTTP client."""

import base64
import json

import httpx
import pytest

import corvault.marvex as marvex
import reference

UC = "https://uc.qiniuapi.com/v2/domains?tbl=bkt"
FALLBACK = "http://bkt.s3.cn-east-1.qiniucs.com"
UP = "https://up-z0.qiniup.com"


def timeout(value):
    return {name: value for name in ("connect", "read", "write", "pool")}


def policy_of(token):
    return json.loads(marvex._urlsafe_base64_decode(token.split(":")[2]))


@pytest.mark.parametrize("answer, domain", [
    (httpx.Response(200, json=["a.example.com", "b.example.com"]), "http://a.example.com"),
    (httpx.Response(200, json={"domains": ["x.clouddn.com"]}), "https://x.clouddn.com"),
    (httpx.Response(200, json=["bkt.s3.qiniuapi.com"]), "https://bkt.s3.qiniuapi.com"),
    (httpx.Response(200, json={"other": 1}), FALLBACK),
    (httpx.Response(200, json=[]), FALLBACK),
    (httpx.Response(200, json=5), FALLBACK),
    (httpx.Response(200, json=[7]), FALLBACK),
    (httpx.Response(200, text="not json"), FALLBACK),
    (httpx.Response(401, json=["a.example.com"]), FALLBACK),
    (httpx.ReadTimeout("slow"), FALLBACK),
])
def test_domain_query_and_fallback_are_kept(make, spy, answer, domain):
    def reply(request):
        if isinstance(answer, Exception):
            raise answer
        return answer

    spy.answer = reply
    client = make()
    assert client._get_bucket_domain() == domain
    assert client.get_path_url("a b/c") == domain + "/a%20b/c"
    assert spy.calls == [("get", (UC,), ["headers", "timeout"])]
    assert [k for k, _ in spy.last.headers.items() if k not in ("host", "accept", "accept-encoding", "connection",
                                                                 "user-agent")] == ["authorization"]
    assert spy.last.headers["authorization"] == client._management_token("/v2/domains?tbl=bkt")
    assert client._cached_domain_url == domain


@pytest.mark.parametrize("default, expected", [(None, 10), (0, 10), (3, 3)])
def test_domain_query_timeout(make, spy, default, expected):
    make(timeout=default)._get_bucket_domain()
    assert spy.last.extensions["timeout"] == timeout(expected)


def test_domain_fallback_uses_the_region_entry(make, spy, monkeypatch):
    spy.answer = lambda request: httpx.Response(500)
    assert make(region="na0")._get_bucket_domain() == "http://bkt.s3.us-north-1.qiniucs.com"
    monkeypatch.setitem(marvex.REGION_ENDPOINTS, "bare", {"rs": "r", "up": "u", "io": "i"})
    assert make(region="bare")._get_bucket_domain() == FALLBACK


def test_custom_domain_is_never_queried(make, spy, frozen_time):
    client = make(domain_url="https://cdn.example.com/")
    assert client.get_path_url("d/a b?.txt") == "https://cdn.example.com/d/a%20b%3F.txt"
    link = client.get_shared_url("d/a b?.txt")
    assert link.startswith("https://cdn.example.com/d/a%20b%3F.txt?e=1700001200&token=AK:")
    assert link == client._download_token("https://cdn.example.com/d/a%20b%3F.txt", 1200)
    assert spy.sent == [] and not hasattr(client, "_cached_domain_url")


def test_shared_url_on_the_compatible_domain_is_presigned(make, spy):
    spy.answer = lambda request: httpx.Response(404)
    client = make()
    url = client.get_shared_url("k", 60)
    assert url == client._dravik_presigned_url("k", 60)
    assert url.startswith(FALLBACK + "/k?X-Amz-Algorithm=AWS4-HMAC-SHA256&X-Amz-Credential=AK%2F20231114%2Fcn-east-1")
    assert len(spy.sent) == 1


def test_download_fetches_the_signed_url(make, spy):
    client = make(domain_url="https://cdn.example.com", timeout=9)
    headers = {"Range": "bytes=0-1"}
    client._download("k", headers)
    assert spy.calls == [("get", (client.get_shared_url("k"),), ["headers", "timeout"])]
    assert spy.last.headers["range"] == "bytes=0-1" and spy.last.extensions["timeout"] == timeout(9)
    client._download("k", None, 0)
    assert spy.last.extensions["timeout"] == timeout(0)
    assert headers == {"Range": "bytes=0-1"}


def test_form_upload_wire_form(make, spy):
    client = make(timeout=4)
    headers = {"X-Trace": "t"}
    client.upload("目录/k 1", "é", None, "ignored-md5", headers)
    assert spy.calls == [("post", (UP + "/",), ["data", "files", "headers", "timeout"])]
    sent = spy.last
    assert sent.headers["x-trace"] == "t" and "content-md5" not in sent.headers
    assert sent.extensions["timeout"] == timeout(4) and headers == {"X-Trace": "t"}
    boundary = sent.headers["content-type"].split("boundary=")[1].encode()
    parts = [p for p in sent.content.split(b"--" + boundary) if p.strip(b"-\r\n")]
    token_part, key_part, file_part = parts
    assert token_part.startswith(b'\r\nContent-Disposition: form-data; name="token"\r\n\r\nAK:')
    token = token_part.split(b"\r\n\r\n")[1].strip().decode()
    assert policy_of(token) == {"scope": "bkt:目录/k 1", "deadline": 1700003600}
    assert key_part == '\r\nContent-Disposition: form-data; name="key"\r\n\r\n目录/k 1\r\n'.encode()
    assert b"Content-Type: application/octet-stream\r\n\r\n\xc3\xa9\r\n" in file_part
    assert b'name="file"' in file_part


@pytest.mark.parametrize("data, sent", [(b"\x00raw", b"\x00raw"), ("text", b"text")])
def test_form_upload_reads_file_objects(make, spy, tmp_path, data, sent):
    path = tmp_path / "f"
    path.write_bytes(sent)
    with open(path, "rb" if isinstance(data, bytes) else "r") as f:
        make().upload("", f, "image/png")
    assert b'name="key"\r\n\r\n\r\n' in spy.last.content
    assert b"Content-Type: image/png\r\n\r\n" + sent + b"\r\n" in spy.last.content


def test_block_request(make, spy):
    client = make(timeout=7)
    client.upload_part("k", "ignored", 4, b"12345", "text/plain", {"Content-Type": "x/y", "authorization": "extra"})
    assert spy.calls == [("post", (UP + "/mkblk/5",), ["content", "headers", "timeout"])]
    sent = spy.last
    assert sent.content == b"12345" and sent.extensions["timeout"] == timeout(7)
    assert sent.headers.get_list("authorization")[0].startswith("UpToken AK:")
    assert policy_of(sent.headers.get_list("authorization")[0][8:]) == {"scope": "bkt:k", "deadline": 1700003600}
    assert sent.headers.get_list("authorization")[1] == "extra"
    assert sent.headers["content-type"] == "x/y" and sent.headers["content-length"] == "5"
    client.upload_part("k", "", 1, b"", timeout=0)
    assert str(spy.last.url) == UP + "/mkblk/0" and spy.last.headers["content-length"] == "0"
    with pytest.raises(TypeError, match="Argument 'content_type' has incorrect type"):
        client.upload_part("k", "", 1, b"", None)


def test_assembly_request(make, spy):
    client = make()
    client.finish_multipart_upload("k", "", ["c1", "c2"], "新/名", {"X-A": "1"}, None, 9)
    encoded = base64.urlsafe_b64encode("新/名".encode()).decode()
    assert spy.calls == [("post", (f"{UP}/mkfile/9/key/{encoded}",), ["content", "headers", "timeout"])]
    sent = spy.last
    assert sent.content == b"c1,c2" and sent.headers["content-type"] == "text/plain"
    assert sent.headers["x-a"] == "1"
    assert policy_of(sent.headers["authorization"][8:])["scope"] == "bkt:新/名"
    client.finish_multipart_upload("k", "", [], "")
    assert str(spy.last.url) == f"{UP}/mkfile/0/key/aw==" and spy.last.content == b""
    with pytest.raises(TypeError, match="sequence item 1: expected str instance, int found"):
        client.finish_multipart_upload("k", "", ["a", 1])
    assert len(spy.sent) == 2


def test_initiate_and_abort_answer_locally(make, spy):
    client = make()
    started = client.initiate_multipart_upload("ü\"k", None, {"A": "b"}, 3)
    assert started.status_code == 200 and started.headers["content-type"] == "application/json"
    assert started.content == b'{"uploadId": "", "key": "\\u00fc\\"k"}'
    assert started.json() == {"uploadId": "", "key": 'ü"k'}
    aborted = client.abort_multipart_upload("k", "u")
    assert (aborted.status_code, aborted.content, len(aborted.content)) == (200, b'{"success": true}', 17)
    assert spy.sent == []


@pytest.mark.parametrize("key, public", [("a/../b", "a/%2E%2E/b"), ("./k", "%2E/k"), ("x/..", "x/%2E%2E"),
                                         ("a..b/.c", "a..b/.c")])
def test_dot_segments_reach_the_object_they_name(make, spy, key, public, monkeypatch):
    client = make(domain_url="https://cdn.example.com")
    assert client.get_path_url(key) == "https://cdn.example.com/" + public
    link = client.get_shared_url(key)
    assert link == client._download_token(client.get_path_url(key), 1200)
    client._download(key)
    assert spy.last.extensions.get("target") is None and str(spy.last.url) == link
    # On the compatible domain the service decodes "%2E" back before it signs the path anew.
    url, _, query = make(domain_url=FALLBACK).get_shared_url(key).partition("?")
    theirs = reference.sigv4_presigned_query("AK", "SK", "cn-east-1", f"{FALLBACK}/{key}", 1200, {},
                                             reference.utc(1700000000), monkeypatch)
    assert url == FALLBACK + "/" + public and query.endswith("&X-Amz-Signature=" + theirs["X-Amz-Signature"])
