"""What the uploads send when their source can be read only once: a path that is no regular file
(a pipe, a FIFO, a socket reports size 0 whatever flows through it) and a body that is used up by
the first attempt of a retried upload."""

import contextlib
import os
import socket
import threading
import tracemalloc

import httpx
import pytest

from corvault.dravik import DravikClient
from corvault.kestry import KestryOSSClient
from corvault.marvex import MarvexKodoClient
from corvault.pelora import PeloraFileClient
from corvault.zorbeck import ZorbeckClient

MULTIPART = {
    "marvex": lambda http: MarvexKodoClient("AK", "SK", "bkt", http_client=http),
    "pelora": lambda http: PeloraFileClient("PUB", "PRIV", "bkt", http_client=http),
}


@pytest.fixture(params=["fifo", "pipe", "socket", "directory"])
def not_a_file(request, tmp_path):
    """A path whose content is not what the file system reports as its size."""
    if request.param == "fifo":  # no writer: opening it would block for ever
        os.mkfifo(tmp_path / "fifo")
        yield str(tmp_path / "fifo")
    elif request.param == "pipe":  # as /dev/stdin with bytes piped in, or bash's <(...)
        read_end, write_end = os.pipe()
        os.write(write_end, b"x" * 1000)
        yield f"/dev/fd/{read_end}"
        os.close(read_end), os.close(write_end)
    elif request.param == "directory":
        (tmp_path / "dir").mkdir()
        yield str(tmp_path / "dir")
    else:
        with socket.socket(socket.AF_UNIX) as listening:
            listening.bind(str(tmp_path / "sock"))
            yield str(tmp_path / "sock")


@pytest.mark.parametrize("name", MULTIPART)
def test_a_multipart_upload_refuses_a_path_that_is_no_regular_file(name, not_a_file, recorder):
    with pytest.raises(ValueError) as refused:
        MULTIPART[name](recorder.client).multipart_upload("k", not_a_file)
    assert str(refused.value) == f"{not_a_file!r} is not a regular file: only a regular file has a size to upload " \
        "in parts"
    assert recorder.sent == []


@pytest.mark.parametrize("name", MULTIPART)
def test_a_link_to_a_regular_file_is_uploaded(name, recorder, tmp_path):
    (tmp_path / "real").write_bytes(b"content")
    (tmp_path / "link").symlink_to("real")
    recorder.default = lambda request: httpx.Response(200, json={"UploadId": "u", "ctx": "c"})
    MULTIPART[name](recorder.client).multipart_upload("k", str(tmp_path / "link"))
    assert b"content" in [s.body for s in recorder.sent]


def test_a_path_made_a_fifo_once_the_upload_began_is_read_as_the_file_it_was(recorder, tmp_path, capsys):
    """pelora opens its upload before the first part: the file read is still the one judged."""
    path = tmp_path / "data.bin"
    path.write_bytes(b"content")

    def end_a_wait_for_a_writer():  # should the FIFO be opened after all
        with contextlib.suppress(OSError):
            os.close(os.open(path, os.O_WRONLY | os.O_NONBLOCK))

    writer = threading.Timer(2, end_a_wait_for_a_writer)

    def initiate(request):
        path.unlink()
        os.mkfifo(path)
        writer.start()
        return httpx.Response(200, json={"UploadId": "u"})

    recorder.respond(initiate)
    recorder.default = lambda request: httpx.Response(200, headers={"ETag": "e"}, json={})
    try:
        assert MULTIPART["pelora"](recorder.client).multipart_upload("k", str(path))["etags"] == ["e"]
    finally:
        writer.cancel()
    assert recorder.sent[1].body == b"content"


def chunks():
    yield b"first "
    yield bytearray(b"second ")
    yield memoryview(b"third")


@pytest.mark.parametrize("data, body", [(chunks, b"first second third"), (lambda: bytearray(b"ab"), b"ab"),
                                        (lambda: iter([b"a", b"b"]), b"ab")])
def test_a_retried_upload_sends_a_body_read_once_whole_each_time(recorder, data, body, capsys):
    recorder.respond(httpx.Response(500), httpx.Response(500))
    client = PeloraFileClient("PUB", "PRIV", "bkt", http_client=recorder.client)
    assert client.upload_with_retry("k", data()) is True
    assert [s.body for s in recorder.sent] == [body] * 3


def test_a_retried_upload_refuses_chunks_that_are_no_bytes_before_sending(recorder, capsys):
    client = PeloraFileClient("PUB", "PRIV", "bkt", http_client=recorder.client)
    with pytest.raises(TypeError):
        client.upload_with_retry("k", iter(["text", "chunks"]))
    assert recorder.sent == []


MiB = 1 << 20


def test_a_retried_upload_gathers_chunks_holding_the_body_about_once(capsys):
    sizes = []

    def answer(request):  # the first attempt fails
        sizes.append(len(request.read()))
        return httpx.Response(500 if len(sizes) == 1 else 200)

    http = httpx.Client(transport=httpx.MockTransport(answer))
    client = PeloraFileClient("PUB", "PRIV", "bkt", http_client=http)
    tracemalloc.start()
    try:
        before = tracemalloc.get_traced_memory()[0]
        assert client.upload_with_retry("k", (bytes(MiB) for _ in range(32))) is True
        peak = tracemalloc.get_traced_memory()[1] - before
    finally:
        tracemalloc.stop()
    assert sizes == [32 * MiB] * 2
    assert peak < 40 * MiB  # the chunks and their joined copy would be twice the body


# The part uploads of a caller's own multipart upload (dravik, zorbeck, kestry), through the base
# class's retry: every attempt sends the whole part, whatever the first one used up.
PARTS = {
    "dravik": lambda http: DravikClient("AK", "SK", "bkt", endpoint="http://127.0.0.1:9000", http_client=http),
    "zorbeck": lambda http: ZorbeckClient("SID", "SKEY", "bkt-1250000000", http_client=http),
    "kestry": lambda http: KestryOSSClient("ak", "sk", "bucket", http_client=http),
}


def piped(data):
    """A pipe's file object holding `data`: it has seek() and tell(), and neither works."""
    read_end, write_end = os.pipe()
    os.write(write_end, data)
    os.close(write_end)
    return open(read_end, "rb")


def refused_once(request):
    raise httpx.ConnectError("reset", request=request)


@pytest.mark.parametrize("name", PARTS)
@pytest.mark.parametrize("source", [
    pytest.param(lambda: (chunk for chunk in (b"part ", bytearray(b"of "), memoryview(b"chunks"))), id="generator"),
    pytest.param(lambda: piped(b"part of chunks"), id="pipe"),
])
def test_a_retried_part_is_sent_whole_each_time(name, source, recorder):
    recorder.respond(httpx.Response(500), refused_once)
    data = source()
    answer = PARTS[name](recorder.client)._upload_part_with_retry("k", "u", 1, data, retries=3)
    assert answer.status_code == 200
    assert [sent.body for sent in recorder.sent] == [b"part of chunks"] * 3
    if hasattr(data, "close"):
        data.close()


@pytest.mark.parametrize("name", PARTS)
def test_a_retried_part_of_chunks_that_are_no_bytes_is_refused_before_sending(name, recorder):
    with pytest.raises(TypeError):
        PARTS[name](recorder.client)._upload_part_with_retry("k", "u", 1, iter(["text"]), retries=3)
    assert recorder.sent == []
