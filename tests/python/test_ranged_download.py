"""The ranged download every client shares, held to one contract: the ranges asked for, each answer
checked to be its range of the object that was sized, nothing partial at the target, and arguments
refused before anything is sent. A client joins the contract with one line in CLIENTS."""

import dataclasses
import errno
import gzip
import hashlib
import json
import os
import pathlib
import re
import shutil
import stat
import subprocess
import tempfile
from typing import Callable

import httpx
import pytest
from fresh import run_script
from recorder import Recorder

from corvault.dravik import DravikClient
from corvault.kestry import KestryOSSClient
from corvault.marvex import MarvexKodoClient
from corvault.pelora import PeloraFileClient
from corvault.zorbeck import ZorbeckClient

OBJECT = bytes(range(65, 90))  # 25 bytes


@dataclasses.dataclass
class Client:
    make: Callable[[httpx.Client], object]  # the client over the given HTTP client
    size_answer: Callable[[int], httpx.Response]  # the answer to its size request
    is_size_request: Callable[[httpx.Request], bool]
    returns_false: bool = False  # reports a failure by the result False instead of raising
    sized_by_head: bool = True  # its size request is a HEAD of the object, whose ETag the parts must carry
    parts_by_get: bool = False  # its parts are GETs it sends with the HTTP client's get()


def content_length(size):
    return httpx.Response(200, headers={"Content-Length": str(size)})


def is_head(request):
    return request.method == "HEAD"


CLIENTS = [
    pytest.param(Client(lambda http: DravikClient("AK", "SK", "bkt", endpoint="http://127.0.0.1:9000",
                                                  http_client=http), content_length, is_head), id="dravik"),
    pytest.param(Client(lambda http: ZorbeckClient("SID", "SKEY", "bkt-1250000000", http_client=http),
                        content_length, is_head), id="zorbeck"),
    pytest.param(Client(lambda http: MarvexKodoClient("AK", "SK", "bkt", domain_url="http://127.0.0.1:9000",
                                                      http_client=http),
                        lambda size: httpx.Response(200, json={"fsize": size}),
                        lambda request: request.url.path.startswith("/stat/"), sized_by_head=False,
                        parts_by_get=True), id="marvex"),
    pytest.param(Client(lambda http: KestryOSSClient("ak", "sk", "bucket", http_client=http), content_length, is_head),
                 id="kestry"),
    pytest.param(Client(lambda http: PeloraFileClient("PUB", "PRIV", "bkt", http_client=http), content_length, is_head,
                        returns_false=True, parts_by_get=True), id="pelora"),
]


CLIENT_OBJECTS = [param.values[0] for param in CLIENTS]


@pytest.fixture(params=CLIENTS)
def client(request):
    return request.param


@pytest.fixture
def recorder():
    """An HTTP client whose request() is httpx's own: the parts are sent streamed."""
    return Recorder(streaming=True)


def serve(client, recorder, data, part=None):
    """Answers the size request with len(data) and each range with its slice of `data`, unless
    `part(index, start, end)` returns an answer of its own for that part."""
    ranges = []

    def answer(request):
        if client.is_size_request(request):
            return client.size_answer(len(data))
        start, end = map(int, re.fullmatch(r"bytes=(\d+)-(\d+)", request.headers["range"]).groups())
        ranges.append((start, end))
        own = part(len(ranges) - 1, start, end) if part else None
        return own if own is not None else httpx.Response(206, content=data[start:end + 1])

    recorder.default = answer
    return ranges


def download(client, recorder, target, *args):
    """The download's outcome: True, or the failure (the exception, or False for such clients)."""
    try:
        return client.make(recorder.client).multipart_download("k", str(target), *args)
    except Exception as error:  # noqa: BLE001 (the contract compares how clients fail)
        return error


def assert_failed(client, outcome, kind=Exception):
    if client.returns_false:
        assert outcome is False
    else:
        assert isinstance(outcome, kind), outcome


@pytest.mark.parametrize("size, part_size", [(25, 10), (25, 25), (1, 10), (20, 10), (25, 1 << 70)])
def test_ranges_cover_the_object_in_order(client, recorder, tmp_path, size, part_size):
    data = OBJECT[:size]
    ranges = serve(client, recorder, data)
    calls = []
    assert download(client, recorder, tmp_path / "out.bin", part_size, lambda *a: calls.append(a)) is True
    step = min(part_size, size)
    expected = [(start, min(start + step, size) - 1) for start in range(0, size, step)]
    assert ranges == expected
    assert calls == [(i, len(expected), end + 1, size) for i, (_, end) in enumerate(expected)]
    assert (tmp_path / "out.bin").read_bytes() == data
    assert os.listdir(tmp_path) == ["out.bin"]


def test_one_range_answered_with_the_whole_object_is_taken(client, recorder, tmp_path):
    serve(client, recorder, OBJECT, part=lambda i, start, end: httpx.Response(200, content=OBJECT))
    assert download(client, recorder, tmp_path / "out.bin", 100) is True
    assert (tmp_path / "out.bin").read_bytes() == OBJECT


@pytest.mark.parametrize("part", [
    pytest.param(lambda i, start, end: httpx.Response(200, content=OBJECT), id="range-ignored"),
    pytest.param(lambda i, start, end: httpx.Response(206, content=OBJECT[start:end]) if i == 2 else None,
                 id="short-body"),
    pytest.param(lambda i, start, end: httpx.Response(206, content=OBJECT[start:end + 2]) if i == 1 else None,
                 id="long-body"),
    pytest.param(lambda i, start, end: httpx.Response(500, text="InternalError") if i == 1 else None, id="status"),
])
def test_a_failed_part_leaves_the_target_as_it_was(client, recorder, tmp_path, part):
    serve(client, recorder, OBJECT, part)
    (tmp_path / "out.bin").write_bytes(b"old")
    assert_failed(client, download(client, recorder, tmp_path / "out.bin", 10))
    assert os.listdir(tmp_path) == ["out.bin"]  # the temporary file is gone too
    assert (tmp_path / "out.bin").read_bytes() == b"old"


def test_a_transport_failure_removes_the_temporary_file(client, recorder, tmp_path):
    def part(i, start, end):
        if i == 1:
            raise httpx.ConnectError("refused")

    serve(client, recorder, OBJECT, part)
    assert_failed(client, download(client, recorder, tmp_path / "out.bin", 10), httpx.ConnectError)
    assert os.listdir(tmp_path) == []


@pytest.mark.parametrize("answer, kind", [(str, TypeError), (lambda fd: fd + (1 << 32), OverflowError)],
                         ids=["text", "beyond-int"])
def test_a_descriptor_number_os_open_answers_is_checked(client, recorder, tmp_path, monkeypatch, answer, kind):
    """os.open is looked up at each download, so a replaced one may answer anything."""
    real_open, opened = os.open, []

    def replaced(*args):
        opened.append(real_open(*args))
        return answer(opened[-1])

    serve(client, recorder, OBJECT)
    (tmp_path / "out.bin").write_bytes(b"old")
    monkeypatch.setattr(os, "open", replaced)
    outcome = download(client, recorder, tmp_path / "out.bin", 10)
    monkeypatch.undo()
    os.close(opened[0])  # still open: the number answered was not taken for it
    assert_failed(client, outcome, kind)
    assert os.listdir(tmp_path) == ["out.bin"] and (tmp_path / "out.bin").read_bytes() == b"old"


def test_a_directory_target_is_refused_before_any_range(client, recorder, tmp_path):
    ranges = serve(client, recorder, OBJECT)
    (tmp_path / "out.bin").mkdir()
    assert_failed(client, download(client, recorder, tmp_path / "out.bin", 10), IsADirectoryError)
    assert ranges == [] and len(recorder.sent) == 1
    assert os.listdir(tmp_path) == ["out.bin"] and os.listdir(tmp_path / "out.bin") == []


@pytest.mark.parametrize("part_size", [0, -1, -(1 << 70)])
def test_a_part_size_below_one_is_refused_before_anything_is_done(client, recorder, tmp_path, part_size):
    outcome = download(client, recorder, tmp_path / "a" / "out.bin", part_size)
    assert outcome is False if client.returns_false else (
        isinstance(outcome, ValueError) and "part_size must be at least 1" in str(outcome))
    assert recorder.sent == [] and os.listdir(tmp_path) == []


@pytest.mark.parametrize("name", ["n" * 251 + ".bin", "é" * 127 + "x", "n" * 232])
def test_a_target_name_up_to_the_limit_is_written(client, recorder, tmp_path, name):
    serve(client, recorder, OBJECT)
    assert download(client, recorder, tmp_path / name, 10) is True
    assert os.listdir(tmp_path) == [name] and (tmp_path / name).read_bytes() == OBJECT


@pytest.mark.parametrize("mode, kept", [(0o600, 0o600), (0o751, 0o751), (0o4755, 0o755), (0o2755, 0o755)])
def test_an_existing_target_keeps_its_permission_bits(client, recorder, tmp_path, mode, kept):
    serve(client, recorder, OBJECT)
    target = tmp_path / "out.bin"
    target.write_bytes(b"old")
    target.chmod(mode)
    assert download(client, recorder, target, 10) is True
    assert stat.S_IMODE(target.stat().st_mode) == kept and target.read_bytes() == OBJECT  # set-id bits dropped


def test_a_file_put_in_place_of_the_unfinished_one_does_not_get_the_bits(client, recorder, tmp_path):
    serve(client, recorder, OBJECT[:20])
    target, victim = tmp_path / "out.bin", tmp_path / "victim"
    target.write_bytes(b"old")
    target.chmod(0o644)
    victim.write_bytes(b"victim")
    victim.chmod(0o600)
    swapped = []

    def swap(index, *args):
        if index == 0:
            (unfinished,) = [tmp_path / name for name in os.listdir(tmp_path) if name.endswith(".part")]
            unfinished.unlink()
            unfinished.symlink_to(victim)
            swapped.append(unfinished)

    download(client, recorder, target, 10, swap)
    assert swapped and stat.S_IMODE(victim.stat().st_mode) == 0o600 and victim.read_bytes() == b"victim"


UNPRIVILEGED = 65534  # nobody


def outcome_in(index, target):
    """How the download into `target` by CLIENTS[index] ends: [exception class, errno, filename]
    or [result, None, None], and the number of ranges it asked for."""
    client, recorder = CLIENTS[index].values[0], Recorder(streaming=True)
    ranges = serve(client, recorder, OBJECT)
    outcome = download(client, recorder, str(target), 10)
    if isinstance(outcome, Exception):
        return [type(outcome).__name__, outcome.errno, outcome.filename, len(ranges)]
    return [outcome, None, None, len(ranges)]


def outcome_as_unprivileged(client, target):
    """outcome_in() for an ordinary user: this process, or as root, one that drops to UNPRIVILEGED
    once it has imported everything (the interpreter may be where that user cannot reach)."""
    if os.geteuid() != 0:
        return outcome_in(CLIENT_OBJECTS.index(client), target)
    return outcome_in_process(client, target, f"os.setgroups([]); os.setgid({UNPRIVILEGED}); os.setuid({UNPRIVILEGED})")


def outcome_in_process(client, target, become="", runner=()):
    """outcome_in() in a new interpreter started by `runner`, which runs `become` first."""
    script = ("import json, os, sys, recorder, test_ranged_download as t\n"
              f"{become}\n"
              "print(json.dumps(t.outcome_in(int(sys.argv[1]), sys.argv[2])))")
    printed = run_script(script, CLIENT_OBJECTS.index(client), target, runner=runner)
    return json.loads(printed.splitlines()[-1])  # after what a client prints itself


@pytest.mark.parametrize("owner, mode, directory_mode", [
    pytest.param("self", 0o444, 0o777, id="read-only"),
    pytest.param("root", 0o644, 0o777, id="another-users"),
    pytest.param("self", 0o644, 0o555, id="directory-read-only"),
])
def test_a_target_that_may_not_be_replaced_is_refused_before_any_range(client, owner, mode, directory_mode):
    if owner == "root" and os.geteuid() != 0:
        pytest.skip("another user's file needs root to be made")
    with tempfile.TemporaryDirectory() as scratch:  # tmp_path's parents are closed to other users
        os.chmod(scratch, 0o755)
        directory = pathlib.Path(scratch) / "d"
        directory.mkdir()
        target = directory / "out.bin"
        target.write_bytes(b"old")
        target.chmod(mode)
        if owner == "self" and os.geteuid() == 0:
            os.chown(target, UNPRIVILEGED, UNPRIVILEGED)
            os.chown(directory, UNPRIVILEGED, UNPRIVILEGED)
        directory.chmod(directory_mode)
        before = target.stat()
        outcome = outcome_as_unprivileged(client, target)
        after = target.stat()
        directory.chmod(0o700)
        assert outcome == ([False, None, None, 0] if client.returns_false else
                           ["PermissionError", errno.EACCES, str(target), 0])  # as open(target, "wb") raises it
        assert (after.st_ino, after.st_uid, after.st_mode) == (before.st_ino, before.st_uid, before.st_mode)
        assert target.read_bytes() == b"old" and os.listdir(directory) == ["out.bin"]


@pytest.mark.parametrize("through_link", [False, True])
def test_a_mount_point_target_is_refused_before_any_range(client, recorder, tmp_path, through_link):
    ranges = serve(client, recorder, OBJECT)
    target, mounted, link = tmp_path / "out.bin", tmp_path / "mounted.bin", tmp_path / "link.bin"
    target.write_bytes(b"old")
    mounted.write_bytes(b"mounted")
    link.symlink_to("out.bin")
    if not shutil.which("mount") or subprocess.run(["mount", "--bind", mounted, target],
                                                   capture_output=True).returncode != 0:
        pytest.skip("mounting is not permitted here")
    try:
        outcome = download(client, recorder, link if through_link else target, 10)
    finally:
        subprocess.run(["umount", target], check=True)
    assert_failed(client, outcome, OSError)
    assert client.returns_false or (outcome.errno, outcome.filename) == (errno.EBUSY, str(link if through_link
                                                                                          else target))
    assert ranges == [] and sorted(os.listdir(tmp_path)) == ["link.bin", "mounted.bin", "out.bin"]
    assert target.read_bytes() == b"old" and mounted.read_bytes() == b"mounted"


def test_a_symbolic_link_is_written_through(client, recorder, tmp_path):
    serve(client, recorder, OBJECT)
    (tmp_path / "data").mkdir()
    (tmp_path / "data" / "real.bin").write_bytes(b"old")
    link = tmp_path / "link.bin"
    link.symlink_to(os.path.join("data", "real.bin"))
    assert download(client, recorder, link, 10) is True
    assert link.is_symlink() and os.readlink(link) == os.path.join("data", "real.bin")
    assert (tmp_path / "data" / "real.bin").read_bytes() == OBJECT
    assert sorted(os.listdir(tmp_path)) == ["data", "link.bin"] and os.listdir(tmp_path / "data") == ["real.bin"]


def test_a_negative_size_is_refused_before_the_target_is_touched(client, recorder, tmp_path):
    recorder.default = lambda request: client.size_answer(-5)
    (tmp_path / "out.bin").write_bytes(b"old")
    assert_failed(client, download(client, recorder, tmp_path / "out.bin", 10), ValueError)
    assert len(recorder.sent) == 1 and os.listdir(tmp_path) == ["out.bin"]
    assert (tmp_path / "out.bin").read_bytes() == b"old"


def serve_changing(client, recorder, before, after, states):
    """The size request finds `before`; the first part comes from it, the later ones from `after`,
    which replaced it meanwhile. A range past the end is answered with 200 and the whole object, as
    OSS does; `states` names the headers every answer carries: "range" (Content-Range), "etag"."""
    def headers(data, start=None, end=None):
        stated = {"ETag": '"%s"' % hashlib.md5(data).hexdigest()} if "etag" in states else {}
        if "range" in states and start is not None:
            stated["Content-Range"] = f"bytes {start}-{end}/{len(data)}"
        return stated

    parts = []

    def answer(request):
        if client.is_size_request(request):
            sized = client.size_answer(len(before))
            sized.headers.update(headers(before))
            return sized
        start, end = map(int, re.fullmatch(r"bytes=(\d+)-(\d+)", request.headers["range"]).groups())
        parts.append(start)
        data = before if len(parts) == 1 else after
        if start >= len(data):
            return httpx.Response(200, content=data, headers=headers(data))
        end = min(end, len(data) - 1)
        return httpx.Response(206, content=data[start:end + 1], headers=headers(data, start, end))

    recorder.default = answer


@pytest.mark.parametrize("before, after, states, caught_without_etag", [
    pytest.param(OBJECT[:20] + b"0123456789", b"abcdefghij", (), True, id="shorter-whole-object-answers"),
    pytest.param(OBJECT[:20], OBJECT, ("range",), True, id="grown-content-range-total"),
    pytest.param(OBJECT, OBJECT.lower(), ("etag",), False, id="replaced-same-size-etag"),
])
def test_an_object_changed_during_the_download_fails_it(client, recorder, tmp_path, before, after, states,
                                                        caught_without_etag):
    serve_changing(client, recorder, before, after, states)
    target = tmp_path / "out.bin"
    target.write_bytes(b"old")
    outcome = download(client, recorder, target, 10)
    if client.sized_by_head or caught_without_etag:
        assert_failed(client, outcome)
        assert os.listdir(tmp_path) == ["out.bin"] and target.read_bytes() == b"old"
    else:  # sized through a record that names no ETag: nothing tells the versions apart
        assert outcome is True and target.read_bytes() == before[:10] + after[10:]


@pytest.mark.parametrize("states", [(), ("range", "etag")])
def test_an_unchanged_object_stating_its_range_and_etag_is_downloaded(client, recorder, tmp_path, states):
    serve_changing(client, recorder, OBJECT, OBJECT, states)
    assert download(client, recorder, tmp_path / "out.bin", 10) is True
    assert (tmp_path / "out.bin").read_bytes() == OBJECT


def test_the_unfinished_file_is_readable_by_its_owner_only(client, recorder, tmp_path):
    serve(client, recorder, OBJECT)
    modes = []

    def progress(*args):
        (unfinished,) = [name for name in os.listdir(tmp_path) if name.endswith(".part")]
        modes.append(stat.S_IMODE(os.stat(tmp_path / unfinished).st_mode))

    old_umask = os.umask(0o027)
    try:
        assert download(client, recorder, tmp_path / "out.bin", 10, progress) is True
    finally:
        os.umask(old_umask)
    assert modes == [0o600] * 3
    assert stat.S_IMODE((tmp_path / "out.bin").stat().st_mode) == 0o640  # a new file's, under that umask


def test_a_fifo_target_is_written_into_not_replaced(client, recorder, tmp_path):
    serve(client, recorder, OBJECT)
    fifo = tmp_path / "out.fifo"
    os.mkfifo(fifo)
    reader = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)  # so that opening it for writing does not wait
    try:
        assert download(client, recorder, fifo, 10) is True
        assert stat.S_ISFIFO(os.stat(fifo).st_mode) and os.read(reader, 100) == OBJECT
    finally:
        os.close(reader)
    assert os.listdir(tmp_path) == ["out.fifo"]


def test_an_empty_path_is_refused_before_any_range(client, recorder, tmp_path, monkeypatch):
    ranges = serve(client, recorder, OBJECT)
    (tmp_path / "cwd").mkdir()
    monkeypatch.chdir(tmp_path / "cwd")
    outcome = download(client, recorder, "", 10)
    assert_failed(client, outcome, FileNotFoundError)  # as open("", "wb") raises it
    assert client.returns_false or (outcome.errno, outcome.filename) == (errno.ENOENT, "")
    assert ranges == [] and os.listdir(tmp_path) == ["cwd"]


def test_a_path_that_is_not_utf8_is_a_target(client, recorder, tmp_path):
    serve(client, recorder, OBJECT)
    directory = os.fsencode(tmp_path) + b"/\xfe-dir"
    assert download(client, recorder, os.fsdecode(directory + b"/\xff.bin"), 10) is True  # as os.listdir names it
    assert os.listdir(directory) == [b"\xff.bin"]
    with open(directory + b"/\xff.bin", "rb") as written:
        assert written.read() == OBJECT


# What is written is the object's stored bytes: every request asks for them, and each part is read
# as it was sent, never with a Content-Encoding undone.

GZIP_OBJECT = gzip.compress(b"".join(hashlib.sha256(bytes([i])).hexdigest().encode() for i in range(100)), mtime=0)


class Body(httpx.SyncByteStream):
    """A part's body sent as these chunks, counting those the client asked for and telling
    whether it was closed."""

    def __init__(self, *chunks):
        self.chunks, self.pulled, self.closed = chunks, 0, False

    def __iter__(self):
        for chunk in self.chunks:
            self.pulled += 1
            yield chunk

    def close(self):
        self.closed = True


def gzip_encoded(data):
    """Each range answered as a server answers for an object stored with Content-Encoding: gzip:
    that slice of the stored bytes, the header saying how they are encoded."""
    def part(i, start, end):
        return httpx.Response(206, headers={"Content-Encoding": "gzip", "Content-Length": str(end + 1 - start)},
                              stream=Body(data[start:end + 1]))
    return part


@pytest.mark.parametrize("part_size", [1000, 1 << 20])
def test_a_gzip_encoded_object_is_written_as_its_stored_bytes(client, recorder, tmp_path, part_size):
    ranges = serve(client, recorder, GZIP_OBJECT, gzip_encoded(GZIP_OBJECT))
    assert download(client, recorder, tmp_path / "out.bin", part_size) is True
    assert (tmp_path / "out.bin").read_bytes() == GZIP_OBJECT
    assert len(ranges) == -(-len(GZIP_OBJECT) // part_size)


def test_every_request_asks_for_the_stored_bytes(client, recorder, tmp_path):
    serve(client, recorder, OBJECT)
    assert download(client, recorder, tmp_path / "out.bin", 10) is True
    size, *parts = recorder.sent
    assert len(parts) == 3 and [part.header("accept-encoding") for part in parts] == ["identity"] * 3
    # marvex sizes with its stat record, a JSON answer of the management host
    assert (size.header("accept-encoding") == "identity") is client.sized_by_head


def test_a_server_compressing_on_the_fly_sends_the_stored_bytes(client, recorder, tmp_path):
    """As OSS does for text objects when gzip is accepted: the answer compressed, with no
    Content-Length and no ETag, even to HEAD."""
    text = b"corvault " * 200

    def answer(request):
        compressing = "gzip" in request.headers.get("accept-encoding", "")
        if client.is_size_request(request):
            sized = client.size_answer(len(text))
            if compressing and client.sized_by_head:
                del sized.headers["Content-Length"]
            return sized
        start, end = map(int, re.fullmatch(r"bytes=(\d+)-(\d+)", request.headers["range"]).groups())
        if compressing:
            return httpx.Response(200, headers={"Content-Encoding": "gzip"}, stream=Body(gzip.compress(text)))
        return httpx.Response(206, content=text[start:end + 1], headers={"ETag": '"e"'})

    recorder.default = answer
    assert download(client, recorder, tmp_path / "out.bin", 600) is True
    assert (tmp_path / "out.bin").read_bytes() == text


def test_a_part_longer_than_asked_fails_without_reading_on(client, recorder, tmp_path):
    bodies = []

    def part(i, start, end):
        if i == 1:
            bodies.append(Body(OBJECT[start:end + 1], b"!", b"?" * 1000))
            return httpx.Response(206, stream=bodies[-1])

    serve(client, recorder, OBJECT, part)
    outcome = download(client, recorder, tmp_path / "out.bin", 10)
    assert_failed(client, outcome)
    assert client.returns_false or str(outcome) == "下载分片 2 失败: 206 应收到 10 字节, 实际收到 11 字节"
    assert bodies[0].pulled == 2 and bodies[0].closed
    assert os.listdir(tmp_path) == []


@pytest.mark.parametrize("part", [
    pytest.param(lambda body: httpx.Response(206, stream=body), id="written"),
    pytest.param(lambda body: httpx.Response(200, stream=body), id="whole-object"),
    pytest.param(lambda body: httpx.Response(206, stream=body, headers={"Content-Range": "bytes 0-9/26"}),
                 id="other-total"),
    pytest.param(lambda body: httpx.Response(503, stream=body), id="status"),
])
def test_every_part_answer_is_closed(client, recorder, tmp_path, part):
    bodies = []

    def answer(i, start, end):
        bodies.append(Body(OBJECT[start:end + 1]))
        return part(bodies[-1])

    serve(client, recorder, OBJECT, answer)
    download(client, recorder, tmp_path / "out.bin", 10)
    assert bodies and all(body.closed for body in bodies)


def test_a_gzip_encoded_object_round_trips_through_a_real_server(s3_server_checked, tmp_path):
    server = s3_server_checked
    http = httpx.Client()
    client = DravikClient(server.access_key, server.secret_key, "ranged-gzip-" + os.urandom(4).hex(),
                          region=server.region, endpoint=server.endpoint, http_client=http)
    assert client._bucket_request("PUT", "").status_code == 200
    stored = gzip.compress(os.urandom(3000) + b"<html>" * 1000)
    assert client.upload("site/app.js", stored, headers={"Content-Encoding": "gzip"}).status_code == 200
    assert client.head("site/app.js").headers["content-encoding"] == "gzip"
    target = tmp_path / "app.js.gz"
    calls = []
    assert client.multipart_download("site/app.js", str(target), 1000, lambda *a: calls.append(a)) is True
    assert target.read_bytes() == stored
    assert len(calls) == -(-len(stored) // 1000) > 1
    http.close()


# The extension points a caller may fill: an HTTP client that cannot send a request streamed, and
# (for the clients whose parts go through `_request`) a `_request` of a subclass's own.

class Wrapper:
    """An HTTP client wrapper (logging, retrying, rate limiting) forwarding the operations of an
    httpx.Client but those it `hides`. Its request() is bound to the client it wraps, not to the
    wrapper, so the library cannot tell what the wrapper adds."""

    def __init__(self, client, hides=()):
        self._wrapped, self._hides = client, hides

    def __getattr__(self, name):
        if name in self._hides:
            raise AttributeError(name)
        return getattr(self._wrapped, name)


def through(client, http, target, part_size):
    try:
        return client.make(http).multipart_download("k", str(target), part_size)
    except Exception as error:  # noqa: BLE001
        return error


def overriding(name, reading=False):
    """A caller's httpx.Client subclass (logging, retrying) over the recorder, overriding `name`
    and noting each call of it in `seen`; `reading`, it reads each answer's body before handing
    the answer on (as a logging client may)."""
    def make(recorder):
        def noted(self, *args, **kwargs):
            self.seen.append(name)
            answer = getattr(super(own, self), name)(*args, **kwargs)
            if reading:
                answer.read()
            return answer

        own = type("Own", (type(recorder.client),), {name: noted, "overrides": name, "seen": []})
        return own(recorder)
    return make


NEVER, ALWAYS = (lambda client: False), (lambda client: True)

# A caller's HTTP client, whether a client's parts may be sent streamed through it, and whether
# they then arrive as stored.
HTTP_CLIENTS = [
    pytest.param(lambda recorder: Wrapper(recorder.client, ("build_request", "send")), NEVER, NEVER,
                 id="request-only-wrapper"),
    pytest.param(lambda recorder: Wrapper(recorder.client), NEVER, NEVER, id="forwarding-wrapper"),
    pytest.param(overriding("request"), NEVER, NEVER, id="overriding-request"),
    pytest.param(overriding("get"), lambda client: not client.parts_by_get, lambda client: not client.parts_by_get,
                 id="overriding-get"),
    pytest.param(overriding("send"), ALWAYS, ALWAYS, id="overriding-send"),
    pytest.param(overriding("send", reading=True), ALWAYS, NEVER, id="send-reading-the-body"),
]


@pytest.mark.parametrize("make_http, streamed, as_stored", HTTP_CLIENTS)
def test_an_http_client_of_the_callers_own_sees_its_calls_and_stored_bytes_come_only_streamed(
        client, recorder, tmp_path, make_http, streamed, as_stored):
    serve(client, recorder, OBJECT)
    http = make_http(recorder)
    assert through(client, http, tmp_path / "out.bin", 10) is True and (tmp_path / "out.bin").read_bytes() == OBJECT
    assert [call.via for call in recorder.calls[1:]] == ["build_request" if streamed(client) else "request"] * 3
    overridden = getattr(http, "overrides", None)
    if overridden:
        assert http.seen == [overridden] * 4 if overridden != "get" else ("get" in http.seen) is client.parts_by_get

    serve(client, recorder, GZIP_OBJECT, gzip_encoded(GZIP_OBJECT))
    outcome = through(client, http, tmp_path / "out.bin", 1000)
    if as_stored(client):
        assert outcome is True and (tmp_path / "out.bin").read_bytes() == GZIP_OBJECT
    else:  # read whole, a part comes decoded: it fails the length check
        assert_failed(client, outcome)
        assert client.returns_false or re.fullmatch(r"下载分片 1 失败: 206 应收到 \d+ 字节, 实际收到 \d+ 字节", str(outcome))
        assert os.listdir(tmp_path) == ["out.bin"] and (tmp_path / "out.bin").read_bytes() == OBJECT


class Declared:
    def _request(self, method, key, query_params=None, headers=None, timeout=None):
        return super()._request(method, key, query_params, headers=headers, timeout=timeout)


class ReadingContent:
    def _request(self, *args, **kwargs):
        answer = super()._request(*args, **kwargs)
        assert answer.content is not None  # ResponseNotRead on an unread answer
        return answer


class RequestOnly:
    """A wrapper offering request() alone, as the S3 and OSS clients' construction allows."""

    def __init__(self, client):
        self.request = client.request


@pytest.mark.parametrize("client", [param for param in CLIENTS if param.id in ("dravik", "zorbeck", "kestry")])
@pytest.mark.parametrize("subclass, wrap", [(Declared, None), (ReadingContent, None), ("instance", None),
                                           (None, RequestOnly)])
def test_a_request_primitive_or_http_client_of_the_callers_own_is_called_as_documented(client, recorder, tmp_path,
                                                                                      subclass, wrap):
    serve(client, recorder, OBJECT)
    made = client.make(wrap(recorder.client) if wrap else recorder.client)
    if subclass == "instance":
        made._request = made._request  # set on the instance: replaced, for all the library can tell
    elif subclass:
        made.__class__ = type("Own", (subclass, type(made)), {})
    assert made.multipart_download("k", str(tmp_path / "out.bin"), 10) is True
    assert (tmp_path / "out.bin").read_bytes() == OBJECT
    assert [(call.via, sorted(call.keyword_names)) for call in recorder.calls[1:]] == [
        ("request", ["headers", "timeout"])] * 3


class LooksUpOnFailure:
    def __getattr__(self, name):  # runs only when the usual lookup has failed
        raise AttributeError(name)


@pytest.mark.parametrize("client", [param for param in CLIENTS if param.id in ("dravik", "zorbeck", "kestry")])
def test_a_subclass_that_only_adds_getattr_keeps_the_librarys_own_request(client, recorder, tmp_path):
    serve(client, recorder, GZIP_OBJECT, gzip_encoded(GZIP_OBJECT))
    made = client.make(recorder.client)
    made.__class__ = type("Own", (LooksUpOnFailure, type(made)), {})
    assert made.multipart_download("k", str(tmp_path / "out.bin"), 1000) is True
    assert (tmp_path / "out.bin").read_bytes() == GZIP_OBJECT


# While the library tells whether `_request` is its own, a key of the instance's dict replaces it
# in the class of a module run afresh, which alone held the method: freed memory, which -X dev
# overwrites, must not be read.
REPLACED_DURING_THE_CHECK = """
import importlib.util, json, sys, corvault.dravik, recorder, test_ranged_download as t
spec = importlib.util.find_spec("corvault.dravik")
module = importlib.util.module_from_spec(spec)
spec.loader.exec_module(module)
fresh, seen = module.DravikClient, []
def replaced(self, *args, **kwargs):
    seen.append(sorted(kwargs))
    return corvault.dravik.DravikClient._request(self, *args, **kwargs)
class Key:
    __hash__ = lambda self: hash("_request")
    def __eq__(self, other):
        fresh._request = replaced
        return False
served = recorder.Recorder(streaming=True)
t.serve(t.CLIENT_OBJECTS[0], served, t.OBJECT)
client = fresh("AK", "SK", "bkt", endpoint="http://127.0.0.1:9000", http_client=served.client)
client.__dict__[Key()] = None
del spec, module
print(json.dumps([client.multipart_download("k", sys.argv[1], 10), seen]))
"""


def test_a_request_method_replaced_while_it_is_checked_is_not_read_after(tmp_path):
    printed = run_script(REPLACED_DURING_THE_CHECK, tmp_path / "out.bin", flags=("-X", "dev"))
    # Found replaced, it is called as a caller's own is (head, then each part): no library keywords.
    assert json.loads(printed) == [True, [["headers", "timeout"]] * 4]


# While the library tells whether a step is its own, the instance is given another class, and the
# class it had, which nothing else held, is collected: that freed class must not be read, and the
# new class's own step is the one that runs from then on, given no keyword of the library's own.
# The class changes while a key of the instance's dict is compared with the step's name, or while
# the class is searched again after that key has made it miss the type cache ("lookup").
CLASS_CHANGED_DURING_THE_CHECK = """
import gc, json, sys, weakref, recorder, test_ranged_download as t
index, step, when, target = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
served = recorder.Recorder(streaming=True)
t.serve(t.CLIENT_OBJECTS[index], served, t.OBJECT)
client = t.CLIENT_OBJECTS[index].make(served.client)
library, seen, armed = type(client), [], []
def own_step(self, *args, **kwargs):
    seen.append(sorted(kwargs))
    return getattr(library, step)(self, *args, **kwargs)
changed = type("Changed", (library,), {step: own_step})
def change_class():
    if type(client) is not changed:
        client.__class__ = changed
        gc.collect()
def compared_in_instance():
    if when == "instance":
        change_class()
    elif not armed:
        armed.append(True)
        type(client).touched = True  # a new version of the class: its next lookup misses the cache
class Key:
    __hash__ = lambda self: hash(step)
    def __init__(self, compared): self.compared = compared
    def __eq__(self, other):
        self.compared()
        return False
client.__class__ = type("Before", (library,), {Key(lambda: armed and change_class()): None})
before = weakref.ref(type(client))
client.__dict__[Key(compared_in_instance)] = None
outcome = client.multipart_download("k", target, 10)
gc.collect()
print(json.dumps([outcome, len(seen), any("stream" in names for names in seen), before() is None]))
"""


@pytest.mark.parametrize("when", ["instance", "lookup"])
@pytest.mark.parametrize("client, step", [("dravik", "_request"), ("kestry", "_request"), ("pelora", "_sign")])
def test_a_class_changed_while_a_step_is_checked_is_not_read_after(client, step, when, tmp_path):
    index = [param.id for param in CLIENTS].index(client)
    printed = run_script(CLASS_CHANGED_DURING_THE_CHECK, index, step, when, tmp_path / "out.bin", flags=("-X", "dev"))
    # The size request and the three parts each went through the new class's step, none streamed;
    # no reference to the class it had is left behind.
    assert json.loads(printed.splitlines()[-1]) == [True, 4, False, True]  # after what pelora prints
    assert (tmp_path / "out.bin").read_bytes() == OBJECT


# Who downloads: an ordinary user, root, and root without CAP_FOWNER (what the kernel exempts).
AS_USER = {
    "unprivileged": outcome_as_unprivileged,
    "root": lambda client, target: outcome_in(CLIENT_OBJECTS.index(client), target),
    "root-without-fowner": lambda client, target: outcome_in_process(
        client, target, runner=("setpriv", "--bounding-set", "-fowner", "--inh-caps", "-fowner")),
}


@pytest.mark.parametrize("directory_owner, file_owner, who, replaced", [
    pytest.param(0, UNPRIVILEGED - 1, "unprivileged", False, id="another-users-file-in-roots-folder"),
    pytest.param(0, 0, "unprivileged", False, id="roots-file-in-roots-folder"),
    pytest.param(0, UNPRIVILEGED, "unprivileged", True, id="own-file"),
    pytest.param(UNPRIVILEGED, 0, "unprivileged", True, id="roots-file-in-own-folder"),
    pytest.param(UNPRIVILEGED, UNPRIVILEGED - 1, "unprivileged", True, id="another-users-file-in-own-folder"),
    pytest.param(UNPRIVILEGED, UNPRIVILEGED - 1, "root", True, id="privileged"),
    pytest.param(UNPRIVILEGED, UNPRIVILEGED - 1, "root-without-fowner", False, id="root-without-the-capability"),
])
def test_the_sticky_directory_rule_is_decided_before_any_range(client, directory_owner, file_owner, who, replaced):
    """In a sticky folder (01777) a process may replace a file only when its user owns the file or
    the folder, or it is privileged, whatever the file's mode: else the rename fails at the end."""
    if os.geteuid() != 0 or not shutil.which("setpriv"):
        pytest.skip("files of other users need root to be made, and setpriv to drop a capability")
    with tempfile.TemporaryDirectory() as scratch:
        os.chmod(scratch, 0o755)
        shared = pathlib.Path(scratch) / "shared"
        shared.mkdir()
        os.chown(shared, directory_owner, directory_owner)
        shared.chmod(0o1777)
        target = shared / "out.bin"
        target.write_bytes(b"old")
        target.chmod(0o666)
        os.chown(target, file_owner, file_owner)
        outcome = AS_USER[who](client, target)
        if replaced:
            assert outcome == [True, None, None, 3] and target.read_bytes() == OBJECT
        else:
            assert outcome == ([False, None, None, 0] if client.returns_false else
                               ["PermissionError", errno.EPERM, str(target), 0])
            assert target.read_bytes() == b"old" and os.listdir(shared) == ["out.bin"]
