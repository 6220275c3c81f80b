"""Uploads in blocks: the kit's part loop as marvex drives it, against a stand-in of the service
that checks every block and the assembly."""

import os

import httpx
import pytest

from corvault.marvex import MarvexKodoClient
from kodo_service import BLOCK, KodoUploadService

SIZE = 2 * BLOCK + 12345  # not a multiple of the block size


@pytest.fixture
def service():
    return KodoUploadService()


class Recording(MarvexKodoClient):
    """Records each call of the base class's per-part retry helper as it is made."""

    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.part_calls = []

    def _upload_part_with_retry(self, *args, **kwargs):
        self.part_calls.append((args[:3], len(args[3]), list(kwargs.items())))
        return super()._upload_part_with_retry(*args, **kwargs)


@pytest.fixture
def client(service):
    return Recording("AK", "SK", "bkt", http_client=service.client)


@pytest.fixture
def content():
    return os.urandom(SIZE)


@pytest.fixture(params=["file", "bytes"])
def upload(request, tmp_path, client):
    """multipart_upload of a file or multipart_upload_bytes of the same content."""

    def run(key, data, **kwargs):
        if request.param == "bytes":
            return client.multipart_upload_bytes(key, data, **kwargs)
        path = tmp_path / "source.bin"
        path.write_bytes(data)
        return client.multipart_upload(key, str(path), **kwargs)

    return run


@pytest.mark.parametrize("part_size", [None, 2 * BLOCK])
def test_blocks_of_four_mib_with_progress_and_assembly(upload, client, service, content, part_size):
    progress = []
    result = upload("dir/大 file.bin", content, part_size=part_size, callback=lambda *a: progress.append(a))

    assert service.objects == {"dir/大 file.bin": content}
    assert list(result) == ["upload_id", "ctxs", "result"]
    assert result["upload_id"] == "" and result["ctxs"] == list(service.blocks)
    assert result["result"] == {"key": "dir/大 file.bin", "fsize": SIZE}
    assert progress == [(0, 3, BLOCK, SIZE), (1, 3, 2 * BLOCK, SIZE), (2, 3, SIZE, SIZE)]
    keywords = [("content_type", "application/octet-stream"), ("headers", None), ("retries", 3)]
    assert client.part_calls == [(("dir/大 file.bin", "", n), length, keywords)
                                 for n, length in ((1, BLOCK), (2, BLOCK), (3, 12345))]
    paths = [path for path, _, _ in service.requests]
    assert paths == ["/mkblk/4194304", "/mkblk/4194304", "/mkblk/12345",
                     f"/mkfile/{SIZE}/key/ZGlyL-WkpyBmaWxlLmJpbg=="]


def test_caller_values_reach_every_block_and_the_assembly(upload, client, service):
    headers = {"X-Trace": "t1"}
    upload("k", b"abc", content_type="", part_size=8 * BLOCK, headers=headers, retries=5)
    assert client.part_calls == [(("k", "", 1), 3, [("content_type", ""), ("headers", headers), ("retries", 5)])]
    assert all(sent.get("x-trace") == "t1" for _, sent, _ in service.requests)
    assert headers == {"X-Trace": "t1"}


@pytest.mark.parametrize("size", [0, BLOCK, 2 * BLOCK])
def test_empty_and_exact_multiples_have_no_empty_block(upload, service, size):
    progress = []
    data = os.urandom(size)
    result = upload("k", data, callback=lambda *a: progress.append(a))
    assert service.objects == {"k": data}
    assert [length for path, _, length in service.requests if path.startswith("/mkblk/")] == [BLOCK] * (size // BLOCK)
    assert len(progress) == size // BLOCK and len(result["ctxs"]) == size // BLOCK


@pytest.mark.parametrize("part_size", [1, 1000, BLOCK - 1])
def test_a_small_part_size_serves_content_of_one_block_only(upload, client, service, part_size):
    upload("one", b"x" * min(part_size, 10), part_size=part_size)
    assert service.objects == {"one": b"x" * min(part_size, 10)}
    with pytest.raises(ValueError, match=f"part_size must be 4194304 .* not {part_size} for"):
        upload("two", b"x" * (part_size + 1), part_size=part_size)
    assert "two" not in service.objects and len(service.requests) == 2


@pytest.mark.parametrize("part_size", [0, -1, -(2**70)])
def test_part_size_below_one_is_refused_before_anything(client, service, tmp_path, part_size):
    with pytest.raises(ValueError, match="part_size must be at least 1"):
        client.multipart_upload_bytes("k", b"abc", part_size=part_size)
    with pytest.raises(ValueError, match="part_size must be at least 1"):
        client.multipart_upload("k", str(tmp_path / "missing"), part_size=part_size)
    assert service.requests == []


def test_missing_file_fails_before_anything_is_sent(client, service, tmp_path):
    with pytest.raises(FileNotFoundError):
        client.multipart_upload("k", str(tmp_path / "missing"))
    assert service.requests == []


def test_block_failure_and_callback_failure_reach_the_caller_unchanged(client, service):
    failure = RuntimeError("boom")

    def callback(index, *_):
        if index == 1:
            raise failure

    with pytest.raises(RuntimeError) as excinfo:
        client.multipart_upload_bytes("k", os.urandom(3 * BLOCK), callback=callback)
    assert excinfo.value is failure
    assert not any(path.startswith("/mkfile/") for path, _, _ in service.requests)

    client.upload_part = lambda *args, **kwargs: httpx.Response(500, text="down")
    with pytest.raises(Exception, match="^上传分片 1 失败: 500 down$"):
        client.multipart_upload_bytes("k", b"abc")


def test_a_refused_assembly_raises_its_status_and_text(client, service):
    client.finish_multipart_upload = lambda *args, **kwargs: httpx.Response(400, text='{"error":"ctx"}')
    with pytest.raises(Exception) as excinfo:
        client.multipart_upload_bytes("k", b"abc")
    assert type(excinfo.value) is Exception and str(excinfo.value) == '完成分片失败: 400 {"error":"ctx"}'


def test_block_answer_without_ctx_contributes_empty_text(client, service):
    client.upload_part = lambda *args, **kwargs: httpx.Response(200, json={"offset": 3})
    client.finish_multipart_upload = lambda key, upload_id, ctxs, **kw: httpx.Response(200, json={"ctxs": ctxs, **kw})
    result = client.multipart_upload_bytes("k", b"abc")
    assert result == {"upload_id": "", "ctxs": [""], "result": {"ctxs": [""], "file_size": 3, "headers": None}}
