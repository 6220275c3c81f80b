"""What marvex's ranged download adds to the shared contract (tests/python/test_ranged_download.py):
the size from the stat record, ranges of the public URL without a token, its time-outs and texts."""

import httpx
import pytest

OBJECT = b"0123456789"


def timeout(value):
    return {name: value for name in ("connect", "read", "write", "pool")}


def serve(spy, stat):
    def answer(request):
        if request.url.path.startswith("/stat/"):
            return stat
        start, end = map(int, request.headers["range"][len("bytes="):].split("-"))
        return httpx.Response(206, content=OBJECT[start:end + 1])

    spy.answer = answer


def test_ranges_of_the_public_url_without_a_token(make, spy, tmp_path):
    serve(spy, httpx.Response(200, json={"fsize": "10", "hash": "h"}))
    client = make(domain_url="https://cdn.example.com", timeout=7)
    progress = []
    assert client.multipart_download("a b.bin", str(tmp_path / "d" / "out"), 4, lambda *a: progress.append(a)) is True
    assert (tmp_path / "d" / "out").read_bytes() == OBJECT
    stat, *ranges = spy.sent
    assert stat.extensions["timeout"] == timeout(7)  # the caller's None reached head: not its 10 seconds
    assert [r.headers["range"] for r in ranges] == ["bytes=0-3", "bytes=4-7", "bytes=8-9"]
    assert all(str(r.url) == "https://cdn.example.com/a%20b.bin" and "authorization" not in r.headers
               and r.headers["accept-encoding"] == "identity" and r.extensions["timeout"] == timeout(7)
               for r in ranges)
    # The spy overrides get(): each range is its call, as the client's ranges are written.
    assert spy.calls[1:] == [("get", ("https://cdn.example.com/a%20b.bin",), ["headers", "timeout"])] * 3
    assert progress == [(0, 3, 4, 10), (1, 3, 8, 10), (2, 3, 10, 10)]


@pytest.mark.parametrize("stat, failure", [
    (httpx.Response(612, text='{"error":"no such file or directory"}'),
     '获取文件信息失败: 612 {"error":"no such file or directory"}'),
    (httpx.Response(200, json={"hash": "h"}), "文件大小为 0"),
    (httpx.Response(200, json={"fsize": 0}), "文件大小为 0"),
])
def test_size_failures(make, spy, tmp_path, stat, failure):
    serve(spy, stat)
    with pytest.raises(Exception) as excinfo:
        make(domain_url="https://cdn.example.com").multipart_download("k", str(tmp_path / "out"))
    assert type(excinfo.value) is Exception and str(excinfo.value) == failure
    assert len(spy.sent) == 1 and list(tmp_path.iterdir()) == []


def test_a_failed_range_names_it_from_one(make, spy, tmp_path):
    serve(spy, httpx.Response(200, json={"fsize": 10}))
    inner = spy.answer
    spy.answer = lambda r: httpx.Response(403, text="denied") if r.headers.get("range") == "bytes=4-7" else inner(r)
    with pytest.raises(Exception, match="^下载分片 2 失败: 403 denied$"):
        make(domain_url="https://cdn.example.com").multipart_download("k", str(tmp_path / "out"), 4)
    assert list(tmp_path.iterdir()) == []
