"""Downloads into a local file: whole, streamed in chunks, and in ranges. Failures answer False,
and the target is replaced only by a complete object."""

import os

import httpx
import pytest

from ufile_reference import HOST, auth, wire_timeout

THRESHOLD = 5 * 1024 * 1024 * 1024


def head(size):
    return httpx.Response(200, headers={"Content-Length": str(size)})


def leftovers(directory):
    return sorted(p for p in os.listdir(directory) if p.endswith(".part"))


def test_whole_object(make, recorder, tmp_path, capsys):
    recorder.respond(head(THRESHOLD - 1), httpx.Response(200, content=b"small"))
    target = tmp_path / "new" / "dir" / "f"
    assert make(timeout=30).download("a b", str(target), timeout=3) is True
    assert target.read_bytes() == b"small"
    assert [(s.method, s.url, s.timeout["read"]) for s in recorder.sent] == [
        ("HEAD", HOST + "/a%20b", 10), ("GET", HOST + "/a%20b", 30)]
    assert capsys.readouterr().out == f"{HOST}/a%20b\n{HOST}/a%20b\n"


def test_streamed_above_the_threshold_writes_chunk_by_chunk(make, recorder, tmp_path, capsys):
    piece = 8 * 1024 * 1024  # the default chunk: httpx hands over whole chunks of that size
    target = tmp_path / "big"

    def body():
        for index in range(2):
            # Each chunk already written before the next one arrives.
            parts = leftovers(tmp_path)
            assert len(parts) == 1 and os.path.getsize(tmp_path / parts[0]) == index * piece
            yield bytes([index]) * piece

    recorder.respond(head(THRESHOLD), lambda request: httpx.Response(200, content=body()))
    client = make(domain_url="https://cdn.example", is_domain_upload=True)
    assert client.download("k", str(target), chunk_size=None, timeout=None) is True
    assert target.read_bytes() == b"".join(bytes([i]) * piece for i in range(2))
    sent = recorder.last
    assert (sent.url, sent.timeout) == (HOST + "/k", wire_timeout(None))
    assert [k for k, _ in recorder.last.headers if k.lower() == "authorization"] == ["Authorization"]
    assert sent.header("Authorization") == auth("GET", "k")
    assert capsys.readouterr().out == HOST + "/k\n"  # the size request only
    assert leftovers(tmp_path) == []


def test_chunk_size_forces_the_stream(make, recorder, tmp_path):
    recorder.respond(httpx.Response(200), httpx.Response(200, content=b"0123456789"))
    assert make().download("k", str(tmp_path / "f"), chunk_size=4.5, timeout=2) is True
    assert (tmp_path / "f").read_bytes() == b"0123456789"
    assert recorder.last.timeout == wire_timeout(2)


def cut_stream(request):
    def body():
        yield b"half"
        raise httpx.ReadError("connection lost")
    return httpx.Response(200, content=body())


@pytest.mark.parametrize("answers, kwargs", [
    ([httpx.Response(404)], {}),
    ([head(4), httpx.Response(403, content=b"deny")], {}),
    ([head(4), httpx.Response(403)], {"chunk_size": 10}),
    ([head(4), cut_stream], {"chunk_size": 2}),
    ([httpx.Response(200, headers={"Content-Length": "x"})], {}),
    ([], {"chunk_size": 0}),
    ([], {"chunk_size": -1}),
])
def test_download_failures_leave_the_target(answers, kwargs, make, recorder, tmp_path):
    recorder.respond(*answers)
    target = tmp_path / "f"
    target.write_bytes(b"old")
    assert make().download("k", str(target), **kwargs) is False
    assert target.read_bytes() == b"old" and leftovers(tmp_path) == []
    assert len(recorder.sent) == len(answers)


def test_ranges_and_progress(make, recorder, tmp_path, capsys):
    body = b"0123456789"

    def ranged(request):
        start, end = map(int, request.headers["Range"][len("bytes="):].split("-"))
        return httpx.Response(206, content=body[start:end + 1])

    recorder.respond(head(10))
    recorder.default = ranged
    progress = []
    target = tmp_path / "f"
    assert make(timeout=9).multipart_download("d/k", str(target), 4, lambda *a: progress.append(a), 3) is True
    assert target.read_bytes() == body
    assert [s.header("Range") for s in recorder.sent[1:]] == ["bytes=0-3", "bytes=4-7", "bytes=8-9"]
    assert [(s.timeout["read"], s.url) for s in recorder.sent] == [(10, HOST + "/d/k")] + [(3, HOST + "/d/k")] * 3
    assert all(s.header("Authorization") == auth("GET", "d/k") for s in recorder.sent[1:])
    assert progress == [(0, 3, 4, 10), (1, 3, 8, 10), (2, 3, 10, 10)]
    assert capsys.readouterr().out == HOST + "/d/k\n"


def test_one_range_answered_with_the_whole_object(make, recorder, tmp_path):
    recorder.respond(head(1), httpx.Response(200, content=b"x"))
    assert make().multipart_download("k", str(tmp_path / "f"), callback=0) is True
    assert recorder.last.header("Range") == "bytes=0-0"


@pytest.mark.parametrize("answers, part_size", [
    ([httpx.Response(404)], 4),
    ([head(0)], 4),
    ([httpx.Response(200)], 4),
    ([], 0),
])
def test_ranged_size_failures_leave_the_target(answers, part_size, make, recorder, tmp_path):
    # The parts' own failures are the shared contract's (tests/python/test_ranged_download.py).
    recorder.respond(*answers)
    target = tmp_path / "f"
    target.write_bytes(b"old")
    assert make().multipart_download("k", str(target), part_size) is False
    assert target.read_bytes() == b"old" and leftovers(tmp_path) == []
    assert len(recorder.sent) == len(answers)


def test_directory_target_and_failing_callback(make, recorder, tmp_path):
    recorder.respond(head(2), httpx.Response(206, content=b"ab"))
    assert make().multipart_download("k", str(tmp_path)) is False
    recorder.respond(head(2), httpx.Response(206, content=b"ab"))
    assert make().multipart_download("k", str(tmp_path / "f"), callback=lambda *a: 1 / 0) is False
    assert not (tmp_path / "f").exists() and leftovers(tmp_path) == []


@pytest.mark.parametrize("chunk_size", [None, 4], ids=["whole", "streamed"])
def test_download_targets_of_every_kind(chunk_size, make, recorder, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    recorder.respond(head(10))
    assert make().download("k", "", chunk_size=chunk_size) is False  # refused once the size is known
    assert len(recorder.sent) == 1 and os.listdir(tmp_path) == []

    undecodable = os.fsdecode(b"\xfe-dir/\xff")  # a name as os.listdir gives it
    os.mkfifo(tmp_path / "fifo")
    reader = os.open(tmp_path / "fifo", os.O_RDONLY | os.O_NONBLOCK)
    try:
        for target in (undecodable, "fifo"):
            recorder.respond(head(10), httpx.Response(200, content=b"0123456789"))
            assert make().download("k", target, chunk_size=chunk_size) is True
        assert os.read(reader, 100) == b"0123456789"
    finally:
        os.close(reader)
    assert sorted(os.listdir(b".")) == [b"fifo", b"\xfe-dir"] and os.listdir(b"\xfe-dir") == [b"\xff"]
    with open(undecodable, "rb") as written:
        assert written.read() == b"0123456789"
