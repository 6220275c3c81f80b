"""What the uploads send when their source can be read only once: a path that is no regular file
(a pipe, a FIFO, a socket reports size 0 whatever flows through it) and a body that is used up by
the first attempt of a retried upload; and how the local files' descriptors are owned."""

import ctypes
import os
import signal
import socket
import subprocess
import sys
import threading
import time
import tracemalloc

import httpx
import pytest
from fresh import run_script

from corvault.dravik import DravikClient
from corvault.marvex import MarvexKodoClient
from corvault.pelora import PeloraFileClient

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


IN_OPEN = 0x20
libc = ctypes.CDLL(None, use_errno=True)


def opened(path, call):
    """Whether `path` was opened while `call()` ran, as inotify tells."""
    watch = libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
    assert libc.inotify_add_watch(watch, os.fsencode(path), IN_OPEN) >= 0, os.strerror(ctypes.get_errno())
    try:
        call()
        return bool(os.read(watch, 4096))
    except BlockingIOError:
        return False
    finally:
        os.close(watch)


@pytest.mark.parametrize("name", MULTIPART)
def test_a_multipart_upload_refuses_a_path_that_is_no_regular_file_unopened(name, not_a_file, recorder):
    """Opening a FIFO releases a writer waiting for its reader, which then loses what it writes;
    opening a device runs its driver."""
    def refuse():
        with pytest.raises(ValueError) as refused:
            MULTIPART[name](recorder.client).multipart_upload("k", not_a_file)
        assert str(refused.value) == f"{not_a_file!r} is not a regular file: only a regular file has a size to " \
            "upload in parts"

    assert not opened(not_a_file, refuse)
    assert recorder.sent == []


@pytest.mark.parametrize("name", MULTIPART)
def test_a_path_holding_a_nul_is_refused_not_cut(name, recorder, tmp_path):
    (tmp_path / "a").write_bytes(b"another file")
    with pytest.raises(ValueError, match="embedded null"):  # as os.stat says it
        MULTIPART[name](recorder.client).multipart_upload("k", f"{tmp_path}/a\0.bin")
    assert recorder.sent == []


@pytest.mark.parametrize("name", MULTIPART)
def test_a_link_to_a_regular_file_is_uploaded(name, recorder, tmp_path):
    (tmp_path / "real").write_bytes(b"content")
    (tmp_path / "link").symlink_to("real")
    recorder.default = lambda request: httpx.Response(200, json={"UploadId": "u", "ctx": "c"})
    MULTIPART[name](recorder.client).multipart_upload("k", str(tmp_path / "link"))
    assert b"content" in [s.body for s in recorder.sent]


def test_a_path_made_a_fifo_once_the_upload_began_is_read_as_the_file_it_was(recorder, tmp_path, capsys):
    path = tmp_path / "data.bin"
    path.write_bytes(b"content")
    writer = threading.Timer(2, lambda: os.open(path, os.O_WRONLY | os.O_NONBLOCK))  # ends a wait on the FIFO

    def initiate(request):  # pelora opens its upload before the first part
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


# A file server's hold on a file one of its clients has open (Samba's kernel oplocks, an NFS
# delegation): a write lease, given up `argv[2]` seconds after the kernel tells of an open (SIGIO),
# or kept until the kernel breaks it (45 s by default) when that is "never".
LEASE_HOLDER = """
import fcntl, os, signal, sys, time
fd, noticed = os.open(sys.argv[1], os.O_RDONLY), []
signal.signal(signal.SIGIO, lambda *args: noticed.append(True))
fcntl.fcntl(fd, 1024, fcntl.F_WRLCK)  # F_SETLEASE
print("held", flush=True)
while not noticed:
    time.sleep(0.01)
print("noticed", flush=True)
while sys.argv[2] == "never":
    time.sleep(60)
time.sleep(float(sys.argv[2]))
fcntl.fcntl(fd, 1024, fcntl.F_UNLCK)
"""


@pytest.fixture
def lease_holder():
    """Starts holders of a lease, each ended with the test: a holder waiting for an open that never
    came would otherwise outlive the run, keeping its output streams open."""
    holders = []

    def start(path, release):
        holders.append(subprocess.Popen([sys.executable, "-c", LEASE_HOLDER, str(path), release],
                                        stdout=subprocess.PIPE, text=True))
        assert holders[-1].stdout.readline() == "held\n"
        return holders[-1]

    yield start
    for holder in holders:
        holder.kill()
        holder.communicate()


@pytest.mark.parametrize("name", MULTIPART)
def test_a_file_under_a_lease_is_uploaded_once_its_holder_lets_go(name, recorder, lease_holder, tmp_path):
    (tmp_path / "data.bin").write_bytes(b"leased content")
    holder, ticks = lease_holder(tmp_path / "data.bin", "0.5"), []
    ticking = threading.Thread(target=lambda: [ticks.append(time.sleep(0.01)) for _ in range(10)])
    recorder.default = lambda request: httpx.Response(200, headers={"ETag": "e"}, json={"UploadId": "u", "ctx": "c"})
    ticking.start()
    MULTIPART[name](recorder.client).multipart_upload("k", str(tmp_path / "data.bin"))
    assert len(ticks) == 10  # the half-second wait let other threads run
    assert holder.communicate(timeout=10)[0] == "noticed\n" and holder.returncode == 0
    assert b"leased content" in [s.body for s in recorder.sent]
    ticking.join()


UPLOAD = """
import sys, recorder
from corvault.marvex import MarvexKodoClient
MarvexKodoClient("AK", "SK", "bkt", http_client=recorder.Recorder().client).multipart_upload("k", sys.argv[1])
"""


def test_ctrl_c_ends_the_wait_for_a_lease(lease_holder, tmp_path):
    (tmp_path / "data.bin").write_bytes(b"leased content")
    holder = lease_holder(tmp_path / "data.bin", "never")
    uploader = subprocess.Popen([sys.executable, "-c", UPLOAD, str(tmp_path / "data.bin")],
                                cwd=os.path.dirname(__file__), stderr=subprocess.PIPE, text=True)
    try:
        assert holder.stdout.readline() == "noticed\n"  # the upload is opening the file
        uploader.send_signal(signal.SIGINT)
        assert uploader.communicate(timeout=10)[1].rstrip().endswith("KeyboardInterrupt")
    finally:
        uploader.kill()
        uploader.wait()


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


def test_a_retried_upload_gathers_chunks_holding_the_body_about_once(recorder, capsys):
    recorder.respond(httpx.Response(500))
    client = PeloraFileClient("PUB", "PRIV", "bkt", http_client=recorder.client)
    tracemalloc.start()
    try:
        assert client.upload_with_retry("k", (bytes(1 << 20) for _ in range(32))) is True
        peak = tracemalloc.get_traced_memory()[1]
    finally:
        tracemalloc.stop()
    assert [len(sent.body) for sent in recorder.sent] == [32 << 20] * 2
    assert peak < 40 << 20  # the chunks and their joined copy would be twice the body


def piped(data):
    """A pipe's file object: it has seek() and tell(), and neither works."""
    read_end, write_end = os.pipe()
    os.write(write_end, data)
    os.close(write_end)
    return open(read_end, "rb")


def refused(request):
    raise httpx.ConnectError("reset", request=request)


@pytest.mark.parametrize("source", [lambda: (c for c in (b"part ", bytearray(b"of "), memoryview(b"chunks"))),
                                    lambda: piped(b"part of chunks")], ids=["generator", "pipe"])
def test_a_retried_part_of_a_callers_multipart_upload_is_sent_whole_each_time(source, recorder):
    recorder.respond(httpx.Response(500), refused)
    client = DravikClient("AK", "SK", "bkt", endpoint="http://127.0.0.1:9000", http_client=recorder.client)
    data = source()
    assert client._upload_part_with_retry("k", "u", 1, data, retries=3).status_code == 200
    data.close()
    assert [sent.body for sent in recorder.sent] == [b"part of chunks"] * 3


# io.open(fd) that fails after taking the descriptor has closed it; the number goes to the next
# open() of any thread (here at once), whose file a second close of the same number would close.
CLOSED_ONCE = """
import io, os, sys
real_open, mode, grabbed = io.open, sys.argv[1], []
def failing_open(file, *args, **kwargs):
    made = real_open(file, *args, **kwargs)
    if isinstance(file, int) and made.mode == mode and not grabbed:
        made.close()
        grabbed.append(os.open(os.devnull, os.O_RDONLY))
        raise MemoryError
    return made
io.open = failing_open  # before the library takes it
import httpx, recorder
from corvault.dravik import DravikClient
from corvault.pelora import PeloraFileClient
served = recorder.Recorder(streaming=True)
served.default = lambda request: httpx.Response(200, headers={"Content-Length": "3"}, json={"UploadId": "u"})
try:
    if mode == "rb":
        PeloraFileClient("PUB", "PRIV", "bkt", http_client=served.client).multipart_upload("k", sys.argv[2])
    else:
        DravikClient("AK", "SK", "bkt", endpoint="http://127.0.0.1:9000",
                     http_client=served.client).multipart_download("k", sys.argv[3])
except MemoryError:
    os.fstat(grabbed[0])  # EBADF once the library has closed that number too
else:
    sys.exit("the file object was made")
"""


@pytest.mark.parametrize("mode", ["rb", "wb"], ids=["upload-source", "download-target"])
def test_a_descriptor_whose_file_object_fails_is_closed_once(mode, tmp_path):
    (tmp_path / "source.bin").write_bytes(b"abc")
    (tmp_path / "out.bin").write_bytes(b"old")
    run_script(CLOSED_ONCE, mode, tmp_path / "source.bin", tmp_path / "out.bin")
    assert sorted(os.listdir(tmp_path)) == ["out.bin", "source.bin"]
    assert (tmp_path / "out.bin").read_bytes() == b"old"
