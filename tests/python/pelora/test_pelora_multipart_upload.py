"""Multipart upload of a file or byte string: the requests in order, the parts' bodies and numbers,
progress, the result, and the one abort that follows a failure once the upload has an id."""

import httpx
import pytest

from ufile_reference import HOST, auth

CALLER = {"X-UCloud-Meta-A": "1"}


def started(upload_id="u/1", **more):
    return httpx.Response(200, json={"UploadId": upload_id, **more})


def part(etag=None):
    return httpx.Response(200, headers={"ETag": etag} if etag is not None else {})


def finished():
    return httpx.Response(200, json={"Bucket": "bkt", "Key": "k", "FileSize": 10})


def upload(client, twin, data, tmp_path, **kwargs):
    if twin == "bytes":
        return client.multipart_upload_bytes("k", data, **kwargs)
    path = tmp_path / "source"
    path.write_bytes(data)
    return client.multipart_upload("k", str(path), **kwargs)


@pytest.mark.parametrize("twin", ["bytes", "file"])
def test_parts_progress_and_result(twin, make, recorder, tmp_path, capsys):
    recorder.respond(started(BlkSize=3), part('"e0"'), part(), part("e2"), finished())
    progress = []
    result = upload(make(), twin, b"0123456789", tmp_path, content_type="text/x", part_size=4.0,
                    headers=dict(CALLER), callback=lambda *a: progress.append(a))
    answer = {"Bucket": "bkt", "Key": "k", "FileSize": 10}
    assert result == {"upload_id": "u/1", "etags": ["e0", "", "e2"], "result": answer}
    assert list(result) == ["upload_id", "etags", "result"]
    assert progress == [(0, 3, 4, 10), (1, 3, 8, 10), (2, 3, 10, 10)]
    assert [(s.method, s.url, s.body) for s in recorder.sent] == [
        ("POST", HOST + "/k?uploads", b""),
        ("PUT", HOST + "/k?uploadId=u%2F1&partNumber=0", b"0123"),
        ("PUT", HOST + "/k?uploadId=u%2F1&partNumber=1", b"4567"),
        ("PUT", HOST + "/k?uploadId=u%2F1&partNumber=2", b"89"),
        ("POST", HOST + "/k?uploadId=u%2F1", b"e0,,e2"),
    ]
    vendor = [("x-ucloud-meta-a", "1")]
    assert [s.header("Authorization") for s in recorder.sent] == [
        auth("POST", "k", ctype="text/x", vendor=vendor)] + [auth("PUT", "k", ctype="text/x", vendor=vendor)] * 3 + [
        auth("POST", "k", ctype="text/plain", vendor=vendor)]
    assert capsys.readouterr().out == (HOST + "/k\n") * 5


@pytest.mark.parametrize("twin", ["bytes", "file"])
def test_service_block_size_and_empty_source(twin, make, recorder, tmp_path):
    recorder.respond(started(BlkSize=3.7), part("a"), part("b"), part("c"), finished())
    assert upload(make(), twin, b"0123456", tmp_path)["etags"] == ["a", "b", "c"]
    assert [len(s.body) for s in recorder.sent[1:4]] == [3, 3, 1]
    assert recorder.sent[1].header("Content-Type") == "application/octet-stream"
    recorder.sent.clear()
    recorder.respond(started(), finished())
    assert upload(make(), twin, b"", tmp_path, callback=lambda *a: 1 / 0)["etags"] == []
    assert [s.method for s in recorder.sent] == ["POST", "POST"]


def test_failed_part_is_followed_by_one_abort(make, recorder):
    recorder.respond(started(), part("e0"), *[httpx.Response(500, text="boom")] * 2)
    with pytest.raises(Exception) as excinfo:
        make().multipart_upload_bytes("k", b"0123456789", part_size=4, headers=dict(CALLER), retries=2)
    assert (type(excinfo.value), str(excinfo.value)) == (Exception, "上传分片 1 失败: 500 boom")
    assert [(s.method, s.url) for s in recorder.sent][-1] == ("DELETE", HOST + "/k?uploadId=u%2F1")
    assert [s.method for s in recorder.sent].count("DELETE") == 1 and len(recorder.sent) == 5
    assert recorder.last_call.kw("headers") == {"Authorization": auth("DELETE", "k")}


def raise_connect(request):
    raise httpx.ConnectError("down")


@pytest.mark.parametrize("answers, error, message, aborted", [
    ([httpx.Response(403, text="denied")], Exception, "初始化分片失败: 403 denied", False),
    ([httpx.Response(200, json={"BlkSize": 4})], KeyError, "'UploadId'", False),
    ([started(""), part("e"), httpx.Response(500, text="x")], Exception, "完成分片失败: 500 x", False),  # no id
    ([started(BlkSize=0)], ValueError, "BlkSize must be at least 1, not 0", True),
    ([started(BlkSize="4")], TypeError, "BlkSize must be a number, not str", True),
    ([started(), part("e"), httpx.Response(500, text="x")], Exception, "完成分片失败: 500 x", True),
    ([started(), part("e"), finished(), raise_connect], None, None, False),
    ([started(), part("e"), httpx.Response(500, text="x"), raise_connect], Exception, "完成分片失败: 500 x", True),
])
def test_failures(answers, error, message, aborted, make, recorder):
    recorder.respond(*answers)
    if error is None:  # nothing failed: no abort
        make().multipart_upload_bytes("k", b"x")
        assert "DELETE" not in [s.method for s in recorder.sent]
        return
    with pytest.raises(error) as excinfo:
        make().multipart_upload_bytes("k", b"x")
    assert str(excinfo.value) == message
    assert [s.method for s in recorder.sent].count("DELETE") == (1 if aborted else 0)


@pytest.mark.parametrize("call, error", [
    (lambda c, p: c.multipart_upload_bytes("k", b"x", part_size=0), ValueError),
    (lambda c, p: c.multipart_upload("k", str(p / "missing")), FileNotFoundError),
    (lambda c, p: c.multipart_upload_bytes("k", bytearray(b"x")), TypeError),
])
def test_refused_before_any_request(call, error, make, recorder, tmp_path):
    with pytest.raises(error):
        call(make(), tmp_path)
    assert recorder.sent == []


def test_an_interrupt_passes_without_abort(make, recorder):
    recorder.respond(started(), part("e"))

    def interrupt(*progress):
        raise KeyboardInterrupt
    with pytest.raises(KeyboardInterrupt):
        make().multipart_upload_bytes("k", b"x", callback=interrupt)
    assert [s.method for s in recorder.sent] == ["POST", "PUT"]


def test_an_interrupt_of_the_abort_replaces_the_failure(make, recorder):
    def interrupt(request):
        raise KeyboardInterrupt("stop")
    recorder.respond(started(), part("e"), httpx.Response(500, text="x"), interrupt)
    with pytest.raises(KeyboardInterrupt, match="stop"):
        make().multipart_upload_bytes("k", b"x")
    assert [s.method for s in recorder.sent] == ["POST", "PUT", "POST", "DELETE"]
