"""kestry's ranged download (its failure texts and signed requests; the shared contract is
tests/python/test_ranged_download.py) and keys with "." or ".." segments."""

import httpx
import pytest
from recorder import Recorder

from kestry_values import EP, OSS_DATE

OBJECT = bytes(range(65, 90))  # 25 bytes


def serve(recorder, size_answer, part=lambda index, start, end: None):
    def answer(request):
        if request.method == "HEAD":
            return size_answer
        start, end = map(int, request.headers["range"][len("bytes="):].split("-"))
        index = (len(recorder.sent) - 2)
        return part(index, start, end) or httpx.Response(206, content=OBJECT[start:end + 1])

    recorder.default = answer


class TestDownloadFailures:
    @pytest.mark.parametrize("size_answer, message", [
        (httpx.Response(404, text="B"), "获取文件信息失败: 404 B"),
        (httpx.Response(200), "文件大小为 0"),
        (httpx.Response(200, headers={"Content-Length": "0"}), "文件大小为 0"),
    ])
    def test_size_failures(self, make, recorder, tmp_path, size_answer, message):
        serve(recorder, size_answer)
        (tmp_path / "out.bin").write_bytes(b"old")
        with pytest.raises(Exception) as caught:
            make().multipart_download("k", str(tmp_path / "out.bin"), 10)
        assert type(caught.value) is Exception and caught.value.args == (message,)
        assert (tmp_path / "out.bin").read_bytes() == b"old" and len(recorder.sent) == 1

    def test_a_failed_part_names_its_number_from_one(self, make, recorder, tmp_path):
        serve(recorder, httpx.Response(200, headers={"Content-Length": "25"}),
              lambda index, start, end: httpx.Response(403, text="T") if index == 1 else None)
        with pytest.raises(Exception) as caught:
            make().multipart_download("k", str(tmp_path / "out.bin"), 10)
        assert caught.value.args == ("下载分片 2 失败: 403 T",)

    def test_a_short_part_names_both_lengths(self, make, recorder, tmp_path):
        serve(recorder, httpx.Response(200, headers={"Content-Length": "25"}),
              lambda index, start, end: httpx.Response(206, content=b"xy") if index == 2 else None)
        with pytest.raises(Exception) as caught:
            make().multipart_download("k", str(tmp_path / "out.bin"), 10)
        assert caught.value.args == ("下载分片 3 失败: 206 应收到 5 字节, 实际收到 2 字节",)


def test_every_request_is_signed_with_the_callers_timeout(make, tmp_path):
    recorder = Recorder(streaming=True)  # whose request() is httpx's own: the parts go streamed
    serve(recorder, httpx.Response(200, headers={"Content-Length": "25"}))
    client = make(timeout=7, http_client=recorder.client)
    assert client.multipart_download("a b", str(tmp_path / "d" / "out.bin"), 10) is True
    assert [(s.method, s.url, s.header("range")) for s in recorder.sent] == [
        ("HEAD", EP + "/a%20b", None), ("GET", EP + "/a%20b", "bytes=0-9"), ("GET", EP + "/a%20b", "bytes=10-19"),
        ("GET", EP + "/a%20b", "bytes=20-24")]
    assert all(s.timeout["read"] == 7 and s.header("x-oss-date") == OSS_DATE for s in recorder.sent)
    assert all(s.header("authorization").startswith("OSS4-HMAC-SHA256 Credential=ak/") for s in recorder.sent)
    assert [list(c.headers_snapshot) for c in recorder.calls[1:]] == [
        ["Range", "Accept-Encoding", "Host", "x-oss-content-sha256", "x-oss-date", "Authorization"]] * 3
    assert [(c.via, c.send_keywords) for c in recorder.calls] == \
        [("request", None)] + [("build_request", [("stream", True)])] * 3
    assert all(s.header("accept-encoding") == "identity" for s in recorder.sent)
    assert (tmp_path / "d" / "out.bin").read_bytes() == OBJECT


class TestDotSegmentKeys:
    @pytest.mark.parametrize("key, target", [("logs/../important", "/logs/../important"), ("a/./b", "/a/./b"),
                                             ("x/..", "/x/.."), ("..", "/..")])
    def test_a_request_reaches_exactly_its_key(self, make, recorder, key, target):
        client = make()
        for operation in (client.head, client.delete, client._download):
            operation(key)
            assert recorder.last_call.url == EP + target
            assert recorder.last_call.kw("extensions") == {"target": target}
        client.upload(key, b"body")
        assert recorder.last_call.kw("extensions") == {"target": target}

    def test_the_signature_covers_the_key_as_it_is(self, make):
        client = make()
        headers = {"x-oss-date": OSS_DATE}
        plain = client._sign_request("GET", "logs/../important", dict(headers))
        assert plain != client._sign_request("GET", "important", dict(headers))
        assert plain != client._sign_request("GET", "logs/%2E%2E/important", dict(headers))

    @pytest.mark.parametrize("key, path", [("logs/../important", "/logs/%2E%2E/important"), ("a/./b", "/a/%2E/b"),
                                           ("x/..", "/x/%2E%2E")])
    def test_urls_handed_to_users_escape_the_segments(self, make, key, path):
        client = make()
        assert client.get_path_url(key) == EP + path
        shared = client.get_shared_url(key)
        assert shared.startswith(EP + path + "?OSSAccessKeyId=ak&Expires=")
        # The service decodes the path back to the key, which is what the signature names.
        assert shared.split("&Signature=")[1] != make().get_shared_url(path[1:]).split("&Signature=")[1]
        assert httpx.URL(shared).path == path.replace("%2E", ".")
