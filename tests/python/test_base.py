"""BaseStorageClient and the configuration module."""

import io

import httpx
import pytest

from corvault import config
from corvault.base import BaseStorageClient, RefusedPage


class Pager(BaseStorageClient):
    """A client whose `list` serves scripted pages and records its calls."""

    def __init__(self, pages):
        self.pages, self.calls = list(pages), []

    def list(self, prefix="", marker="", limit=20):
        self.calls.append((prefix, marker, limit))
        return self.pages.pop(0)


def test_iter_objects_follows_markers_until_the_listing_ends():
    client = Pager([
        {"objects": [{"key": "a"}, {"key": "b"}], "is_truncated": True, "next_marker": "m1"},
        {"objects": [{"key": "c"}], "is_truncated": True, "next_marker": "m2"},
        {"objects": [{"key": "d"}], "is_truncated": False},
    ])
    assert [entry["key"] for entry in client.iter_objects()] == ["a", "b", "c", "d"]
    assert [marker for _, marker, _ in client.calls] == ["", "m1", "m2"]
    assert all(limit == 1000 for _, _, limit in client.calls)


def test_iter_objects_stops_on_a_final_page():
    client = Pager([{"objects": [{"key": "x"}], "is_truncated": False, "next_marker": "more"},
                    {"objects": [{"key": "never"}], "is_truncated": False}])
    assert [entry["key"] for entry in client.iter_objects()] == ["x"]
    assert len(client.calls) == 1


@pytest.mark.parametrize("marker_is_key, pages", [
    (False, [{"objects": [{"key": "x"}], "is_truncated": True, "next_marker": ""}]),
    (False, [{"objects": [{"key": "x"}], "is_truncated": True}]),
    (True, [{"objects": [{"key": "x"}], "is_truncated": True}, {"objects": [], "is_truncated": True, "next_marker": None}]),
])
def test_iter_objects_refuses_a_truncated_page_without_a_marker(marker_is_key, pages):
    client = Pager(pages + [{"objects": [{"key": "never"}], "is_truncated": False}])
    client.listing_marker_is_key = marker_is_key
    keys = []
    with pytest.raises(Exception, match="^列举对象失败: 列表被截断但没有继续标记$"):
        keys.extend(entry["key"] for entry in client.iter_objects())
    assert keys == ["x"] and [marker for _, marker, _ in client.calls] == ["", "x"][:len(pages)]


def test_iter_objects_raises_on_a_refused_page_of_a_list_replaced_on_the_instance():
    client = Pager([])
    client.list = lambda **kwargs: RefusedPage({"objects": [], "is_truncated": False}, 503, "SlowDown")
    with pytest.raises(Exception) as failure:
        list(client.iter_objects())
    assert (type(failure.value), str(failure.value)) == (Exception, "列举对象失败: 503 SlowDown")


class PartUploader(BaseStorageClient):
    def __init__(self, answers):
        self.answers, self.calls = list(answers), []

    def upload_part(self, key, upload_id, part_number, data, content_type, headers):
        body = data.read() if hasattr(data, "read") else data
        self.calls.append((key, upload_id, part_number, body, content_type, headers))
        answer = self.answers.pop(0)
        if isinstance(answer, Exception):
            raise answer
        return httpx.Response(answer, text=f"answer {answer}")


def test_part_retry_returns_the_first_success_and_rewinds_file_data():
    client = PartUploader([500, httpx.ConnectError("refused"), 200, 200])
    data = io.BytesIO(b"skip-part-body")
    data.seek(5)
    response = client._upload_part_with_retry("k", "u1", 2, data, content_type="text/plain",
                                               headers={"h": "v"}, retries=3)
    assert response.status_code == 200
    assert [call[3] for call in client.calls] == [b"part-body"] * 3
    assert client.calls[0] == ("k", "u1", 2, b"part-body", "text/plain", {"h": "v"})


def test_part_retry_gives_up_naming_the_part_and_the_last_status():
    client = PartUploader([503, 502, 404])
    with pytest.raises(Exception) as info:
        client._upload_part_with_retry("k", "u1", 7, b"data", content_type="", headers=None, retries=3)
    assert str(info.value) == "上传分片 7 失败: 404 answer 404"
    assert len(client.calls) == 3


def test_part_retry_after_transport_errors_only():
    client = PartUploader([httpx.ReadTimeout("slow"), httpx.ReadTimeout("slow")])
    with pytest.raises(Exception, match="上传分片 1 失败") as info:
        client._upload_part_with_retry("k", "", 1, b"d", content_type="x", headers=None, retries=2)
    assert isinstance(info.value.__cause__, httpx.ReadTimeout)


def test_part_retry_lets_other_errors_through_at_once():
    client = PartUploader([ValueError("bad part")])
    with pytest.raises(ValueError, match="bad part"):
        client._upload_part_with_retry("k", "", 1, b"d", content_type="x", headers=None, retries=3)
    assert len(client.calls) == 1


def test_upload_file_reads_the_file_and_guesses_the_type(tmp_path):
    calls = []

    class Uploader(BaseStorageClient):
        def upload(self, key, data, content_type=None):
            calls.append((key, data, content_type))
            return "response"

    (tmp_path / "page.html").write_bytes(b"<p>\x00\xff</p>")
    (tmp_path / "blob.unknown-ext").write_bytes(b"\x01")
    client = Uploader()
    assert client.upload_file("k1", str(tmp_path / "page.html")) == "response"
    client.upload_file("k2", str(tmp_path / "blob.unknown-ext"))
    assert calls == [("k1", b"<p>\x00\xff</p>", "text/html"), ("k2", b"\x01", "application/octet-stream")]
    with pytest.raises(FileNotFoundError):
        client.upload_file("k3", str(tmp_path / "missing"))


def test_base_works_without_its_constructor():
    client = object.__new__(Pager)
    client.pages, client.calls = [{"objects": [], "is_truncated": False}], []
    assert list(client.iter_objects()) == []


def test_http_client_config_builds_a_client():
    assert isinstance(config.HTTP_CLIENT_CONFIG, dict) and isinstance(config.REGION_ENDPOINTS, dict)
    with httpx.Client(**config.HTTP_CLIENT_CONFIG) as client:
        assert client.timeout.read == config.HTTP_CLIENT_CONFIG["timeout"]


@pytest.mark.parametrize("markers", [["m1", "m1"], ["m1", "m2", "m1"]])
def test_iter_objects_refuses_a_listing_that_does_not_advance(markers):
    pages = [{"objects": [{"key": f"k{i}"}], "is_truncated": True, "next_marker": m} for i, m in enumerate(markers)]
    client = Pager(pages + [{"objects": [{"key": "never"}], "is_truncated": False}])
    keys = []
    with pytest.raises(Exception, match="listing does not advance"):
        keys.extend(entry["key"] for entry in client.iter_objects())
    assert keys == [f"k{i}" for i in range(len(markers))]
    assert len(client.calls) == len(markers)


class OwnPage(dict):
    """A subclass's own page record, which happens to carry a status_code."""
    status_code = 200


def test_iter_objects_reads_a_page_of_a_subclass_that_carries_a_status():
    client = Pager([OwnPage({"objects": [{"key": "a"}], "is_truncated": True, "next_marker": "m"}),
                    OwnPage({"objects": [{"key": "b"}], "is_truncated": False})])
    assert [entry["key"] for entry in client.iter_objects()] == ["a", "b"]


class ReadOnce:
    """A body that has `read` and nothing to rewind with: a pipe, a socket file, a response."""

    def __init__(self, data):
        self.data = data

    def read(self, size=-1):
        data, self.data = self.data, b""
        return data


def test_part_retry_sends_a_body_that_cannot_be_rewound_whole_each_time():
    client = PartUploader([500, httpx.ConnectError("refused"), 200])
    assert client._upload_part_with_retry("k", "u", 1, ReadOnce(b"part"), content_type="x", headers=None,
                                          retries=3).status_code == 200
    assert [call[3] for call in client.calls] == [b"part"] * 3
