"""Object, listing, multipart, batch-delete and bucket operations against a real S3-compatible
server on loopback.

Signature V4 runs on the checking server, which refuses a request whose signature does not match;
Signature V2 runs on the plain server (moto cannot check V2, and answers 500 to a V2 request when
it checks signatures). Each runs in path and in virtual-host addressing style; virtual-host names
like bucket.127.0.0.1 reach the server through LoopbackTransport."""

import base64
import functools
import gc
import hashlib
import io
import os
import tracemalloc
import uuid
import xml.etree.ElementTree as ET
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass, field
from datetime import datetime

import httpx
import pytest

from corvault.base import BaseStorageClient
from corvault.dravik import DravikClient
from s3server import V2_ACCESS_KEY
from test_roundtrip_requests import LoopbackTransport

RUN = "rto-" + uuid.uuid4().hex[:10]  # bucket names of this module start with it
MIB = 1 << 20

FLAVOURS = {
    # id: (server fixture, signature_version, addressing_style)
    "v4-path": ("s3_server_checked", "v4", "path"),
    "v4-virtual": ("s3_server_checked", "v4", "virtual"),
    "v2-path": ("s3_server", "dravik", "path"),
    "v2-virtual": ("s3_server", "dravik", "virtual"),
}


@dataclass
class Site:
    """A client on one bucket of one server, and the requests its HTTP client sent."""
    client: DravikClient
    server: object
    flavour: str
    sent: list = field(default_factory=list)  # (method, url, headers, body or None when large)

    def make(self, bucket, **kwargs):
        return make_site(self.server, self.flavour, bucket, **kwargs)

    def requests(self, method, query_name=None):
        return [s for s in self.sent if s[0] == method
                and (query_name is None or query_name in httpx.URL(s[1]).params)]


def make_site(server, flavour, bucket, secret=None, region=None):
    _, version, style = FLAVOURS[flavour]
    site = Site(None, server, flavour)

    def record(request):
        body = request.content if len(request.content) <= 64 * 1024 else None
        site.sent.append((request.method, str(request.url), dict(request.headers), body))

    transport = LoopbackTransport() if style == "virtual" else httpx.HTTPTransport()
    http = httpx.Client(transport=transport, event_hooks={"request": [record]})
    access_key = V2_ACCESS_KEY if version == "dravik" else server.access_key
    site.client = DravikClient(access_key, secret or server.secret_key, bucket,
                               region=region or server.region, endpoint=server.endpoint, http_client=http,
                               signature_version=version, addressing_style=style)
    return site


def new_site(request, flavour, suffix, **kwargs):
    server = request.getfixturevalue(FLAVOURS[flavour][0])
    site = make_site(server, flavour, f"{RUN}-{flavour}-{suffix}", **kwargs)
    response = site.client._bucket_request("PUT", "")
    assert response.status_code == 200, response.text
    return site


@pytest.fixture(scope="module", params=list(FLAVOURS))
def site(request):
    """The main bucket of one flavour, shared by the tests of this module (each under its own prefix)."""
    return new_site(request, request.param, "main")


def md5_hex(data):
    return hashlib.md5(data).hexdigest()


def status(response):
    return response.status_code, response.text[:300]


def read_back(key):
    """A key as a service's XML answer gives it back: the service writes keys as they are, and an
    XML parser reads a raw carriage return (alone or before a line feed) as a line feed."""
    return key.replace("\r\n", "\n").replace("\r", "\n")


def list_all(client, prefix, limit=1000):
    keys, marker = [], ""
    while True:
        page = client.list(prefix=prefix, marker=marker, limit=limit)
        keys += [entry["key"] for entry in page["objects"]]
        if not page["is_truncated"]:
            return keys
        marker = page["next_marker"]


def assert_gone(client, keys):
    for key in keys:
        assert client._download(key).status_code == 404, key


# ---- single objects ----------------------------------------------------------------------------

TEXT = "déjà vu – 中文 & <tags> + more\n"
UPLOAD_FORMS = {
    "bytes": (lambda path: b"\x00\x01 raw bytes \xff" * 100, b"\x00\x01 raw bytes \xff" * 100),
    "text": (lambda path: TEXT, TEXT.encode("utf-8")),
    "binary file object": (lambda path: io.BytesIO(b"from a binary stream " * 50), b"from a binary stream " * 50),
    "text file object": (lambda path: io.StringIO(TEXT * 3), (TEXT * 3).encode("utf-8")),
    "file on disk": (lambda path: open(path, "rb"), b"file on disk\r\n" * 200),
}


@pytest.mark.parametrize("form", list(UPLOAD_FORMS))
def test_upload_download_head_delete(site, tmp_path, form):
    make_data, expected = UPLOAD_FORMS[form]
    path = tmp_path / "source.bin"
    path.write_bytes(expected)
    key = f"objects/{form} ü&+=.bin"
    client = site.client
    data = make_data(path)
    try:
        put = client.upload(key, data, content_type="application/x-corvault-test",
                            content_md5=base64.b64encode(hashlib.md5(expected).digest()).decode())
    finally:
        if hasattr(data, "close"):
            data.close()
    assert put.status_code == 200, status(put)
    assert put.headers["ETag"] == f'"{md5_hex(expected)}"'

    got = client._download(key)
    assert got.status_code == 200, status(got)
    assert got.content == expected

    head = client.head(key)
    assert head.status_code == 200
    assert head.headers["Content-Length"] == str(len(expected))
    assert head.headers["Content-Type"] == "application/x-corvault-test"
    assert head.headers["ETag"] == f'"{md5_hex(expected)}"'

    gone = client.delete(key)
    assert gone.status_code == 204, status(gone)
    assert client._download(key).status_code == 404
    assert client.head(key).status_code == 404


def test_callers_headers_reach_the_service_and_stay_unchanged(site):
    client = site.client
    put_headers = {"x-amz-meta-origin": "round trip"}
    assert client.upload("objects/meta.txt", b"m", headers=put_headers).status_code == 200
    assert put_headers == {"x-amz-meta-origin": "round trip"}
    for operation in (client._download, client.head):
        headers = {"Range": "bytes=0-0"} if operation is client._download else {"x-amz-meta-ignored": "1"}
        before = dict(headers)
        response = operation("objects/meta.txt", headers=headers)
        assert response.status_code in (200, 206), status(response)
        assert response.headers["x-amz-meta-origin"] == "round trip"
        assert headers == before


# ---- copy --------------------------------------------------------------------------------------

@pytest.fixture(scope="module")
def other_bucket(request, site):
    """A second bucket on the same server, for copies across buckets."""
    return new_site(request, site.flavour, "other")


def test_copy_within_the_bucket(site):
    client = site.client
    body = os.urandom(3000)
    source = "copy/source ü+&?.bin"
    assert client.upload(source, body).status_code == 200
    assert client.copy_object(source, "copy/within dest é") is True
    copied = client._download("copy/within dest é")
    assert (copied.status_code, copied.content) == (200, body)
    assert client.head("copy/within dest é").headers["ETag"] == f'"{md5_hex(body)}"'
    assert client._download(source).content == body  # the source stays


def test_copy_across_buckets(site, other_bucket):
    body = os.urandom(2500)
    source = "elsewhere/src 中文 +.bin"
    assert other_bucket.client.upload(source, body).status_code == 200
    assert site.client.copy_object(source, "copy/from other bucket", src_bucket=other_bucket.client.bucket) is True
    copied = site.client._download("copy/from other bucket")
    assert (copied.status_code, copied.content) == (200, body)
    # The destination is always the client's own bucket.
    assert other_bucket.client._download("copy/from other bucket").status_code == 404


def test_copy_of_a_missing_source_raises(site):
    with pytest.raises(Exception) as info:
        site.client.copy_object("copy/no such source", "copy/never written")
    message = str(info.value)
    assert message.startswith("复制对象失败: 404 ")
    assert "NoSuchKey" in message
    assert site.client._download("copy/never written").status_code == 404


# ---- listing -----------------------------------------------------------------------------------

PAGE_KEYS = ["page/a b", "page/a+b", "page/x&y", "page/q=1;r", "page/ünï", "page/中文", "page/~tilde"]


def test_list_pages_by_next_marker(site):
    client = site.client
    contents = {key: os.urandom(10 + 7 * i) for i, key in enumerate(PAGE_KEYS)}
    for key, body in contents.items():
        assert client.upload(key, body).status_code == 200
    expected_order = sorted(PAGE_KEYS, key=lambda k: k.encode("utf-8"))  # S3 lists in UTF-8 byte order

    pages, marker = [], ""
    while len(pages) < 5:
        page = client.list(prefix="page/", marker=marker, limit=3)
        pages.append(page)
        if not page["is_truncated"]:
            break
        marker = page["next_marker"]
        assert marker

    assert [len(page["objects"]) for page in pages] == [3, 3, 1]
    assert [page["is_truncated"] for page in pages] == [True, True, False]
    assert "next_marker" not in pages[-1]
    entries = [entry for page in pages for entry in page["objects"]]
    assert [entry["key"] for entry in entries] == expected_order
    for entry in entries:
        assert list(entry) == ["key", "size", "last_modified", "etag"]
        body = contents[entry["key"]]
        assert entry["size"] == len(body)
        assert entry["etag"] == md5_hex(body)
        datetime.fromisoformat(entry["last_modified"].replace("Z", "+00:00"))


def test_list_of_an_empty_prefix_page(site):
    page = site.client.list(prefix="nothing-here/")
    assert page == {"objects": [], "is_truncated": False}


def test_list_with_a_blank_in_the_prefix(site):
    """The query is sent as it was signed: a blank in a query value travels as %20, not as the "+"
    of form encoding, which a server checking the query as received would refuse."""
    client = site.client
    assert client.upload("blank prefix/k", b"b").status_code == 200
    raw = client._request("GET", "", {"list-type": "2", "prefix": "blank prefix/", "max-keys": "5"})
    assert raw.status_code == 200, status(raw)
    site.sent.clear()
    assert [entry["key"] for entry in client.list(prefix="blank prefix/")["objects"]] == ["blank prefix/k"]
    (listing,) = site.requests("GET", "list-type")
    assert "prefix=blank%20prefix%2F" in listing[1]


def test_list_reads_the_answer_as_elementtree_does(site):
    client = site.client
    for key in ("tree/one", "tree/two & three", "tree/ü"):
        assert client.upload(key, key.encode()).status_code == 200
    raw = client._request("GET", "", {"list-type": "2", "prefix": "tree/", "max-keys": "2"})
    assert raw.status_code == 200, status(raw)
    root = ET.fromstring(raw.text)
    ns = {"s3": root.tag[1:root.tag.index("}")]} if root.tag.startswith("{") else {}
    p = "s3:" if ns else ""
    expected = [{"key": c.find(p + "Key", ns).text, "size": int(c.find(p + "Size", ns).text),
                 "last_modified": c.find(p + "LastModified", ns).text,
                 "etag": c.find(p + "ETag", ns).text.strip('"')} for c in root.findall(".//" + p + "Contents", ns)]
    listing = client.list(prefix="tree/", limit=2)
    assert listing["objects"] == expected
    assert root.find(p + "IsTruncated", ns).text == "true"
    assert listing["is_truncated"] is True
    assert listing["next_marker"] == root.find(p + "NextContinuationToken", ns).text


# ---- multipart upload --------------------------------------------------------------------------

def upload_id_of(response):
    root = ET.fromstring(response.text)
    ns = root.tag[:root.tag.index("}") + 1] if root.tag.startswith("{") else ""
    return root.find(ns + "UploadId").text


def test_multipart_upload_of_three_parts(site):
    client = site.client
    key = "multipart/three parts ü.bin"
    parts = [os.urandom(5 * MIB), os.urandom(5 * MIB), os.urandom(1024)]
    started = client.initiate_multipart_upload(key, content_type="application/x-corvault-parts")
    assert started.status_code == 200, status(started)
    upload_id = upload_id_of(started)
    assert upload_id

    etags = []
    for number, part in enumerate(parts, start=1):
        data = io.BytesIO(part) if number == 3 else part  # bytes and a file object alike
        answer = client.upload_part(key, upload_id, number, data)
        assert answer.status_code == 200, status(answer)
        assert answer.headers["ETag"] == f'"{md5_hex(part)}"'
        etags.append(answer.headers["ETag"])

    finished = client.finish_multipart_upload(key, upload_id, etags)
    assert finished.status_code == 200, status(finished)
    # The ETag of a multipart object: MD5 of the parts' binary MD5 digests, a hyphen, the part count.
    multipart_etag = f'"{md5_hex(b"".join(hashlib.md5(p).digest() for p in parts))}-3"'
    assert multipart_etag in finished.text

    whole = b"".join(parts)
    head = client.head(key)
    assert head.headers["Content-Length"] == str(len(whole))
    assert head.headers["ETag"] == multipart_etag
    assert head.headers["Content-Type"] == "application/x-corvault-parts"
    got = client._download(key)
    assert got.status_code == 200 and got.content == whole
    assert client.delete(key).status_code == 204


def uploads_in_progress(client):
    """Upload ids of the bucket's unfinished multipart uploads (ListMultipartUploads)."""
    answer = client._bucket_request("GET", "", {"uploads": ""})
    assert answer.status_code == 200, status(answer)
    return [element.text for element in ET.fromstring(answer.text).iter() if element.tag.endswith("UploadId")]


def test_aborted_multipart_upload_is_gone(site):
    client = site.client
    key = "multipart/aborted ü"
    upload_id = upload_id_of(client.initiate_multipart_upload(key))
    assert client.upload_part(key, upload_id, 1, b"first").status_code == 200
    assert upload_id in uploads_in_progress(client)
    headers = {"x-amz-meta-unused": "1"}
    aborted = client.abort_multipart_upload(key, upload_id, headers=headers)
    assert aborted.status_code == 204, status(aborted)
    assert headers == {"x-amz-meta-unused": "1"}
    assert upload_id not in uploads_in_progress(client)
    assert client._download(key).status_code == 404


# ---- ranged download ---------------------------------------------------------------------------

@pytest.mark.parametrize("size, part_size", [
    (2 * 65536 + 32768, 65536),  # two and a half parts
    (2 * 65536 + 32768, MIB),    # one part larger than the object
    (65536, 65536),              # exactly one part
])
def test_multipart_download(site, tmp_path, size, part_size):
    client = site.client
    body = os.urandom(size)
    key = f"download/{size} by {part_size} ü.bin"
    assert client.upload(key, body).status_code == 200
    target = tmp_path / "a" / "b" / "out.bin"
    calls = []
    gets_before = len(site.requests("GET"))

    assert client.multipart_download(key, str(target), part_size, lambda *args: calls.append(args)) is True

    total = -(-size // part_size)
    assert calls == [(i, total, min((i + 1) * part_size, size), size) for i in range(total)]
    assert target.read_bytes() == body
    assert os.listdir(target.parent) == ["out.bin"]  # nothing left beside the target
    ranges = [s[2].get("range") for s in site.requests("GET")[gets_before:]]
    assert ranges == [f"bytes={i * part_size}-{min((i + 1) * part_size, size) - 1}" for i in range(total)]


@pytest.mark.parametrize("site", ["v4-path"], indirect=True)
def test_multipart_download_holds_one_part_at_a_time(site, tmp_path):
    """Memory is bounded by one part: each body is released before the next part is requested,
    without waiting for the cyclic garbage collector."""
    part_size = 256 * 1024
    body = os.urandom(16 * part_size)
    assert site.client.upload("download/sixteen parts", body).status_code == 200
    gc.collect()
    gc.disable()
    tracemalloc.start()
    try:
        assert site.client.multipart_download("download/sixteen parts", str(tmp_path / "out.bin"), part_size)
        peak = tracemalloc.get_traced_memory()[1]
    finally:
        tracemalloc.stop()
        gc.enable()
    assert (tmp_path / "out.bin").read_bytes() == body
    assert peak < 4 * part_size, f"peak of Python allocations {peak / part_size:.1f} parts"


def test_multipart_download_replaces_an_existing_file(site, tmp_path):
    client = site.client
    body = os.urandom(40000)
    assert client.upload("download/replace", body).status_code == 200
    target = tmp_path / "out.bin"
    target.write_bytes(b"old content that is longer than nothing")
    assert client.multipart_download("download/replace", str(target), part_size=16384) is True
    assert target.read_bytes() == body
    assert os.listdir(tmp_path) == ["out.bin"]


@pytest.mark.parametrize("site", ["v4-path", "v2-path"], indirect=True)
@pytest.mark.parametrize("new_size", [30000, 40000, 50000])
def test_multipart_download_of_an_object_replaced_meanwhile_fails(site, tmp_path, new_size):
    """The object is replaced after the first part: the parts that follow are of another object,
    which the server's ETag and Content-Range tell, whatever its size."""
    client = site.client
    key = f"download/replaced by {new_size}"
    assert client.upload(key, os.urandom(40000)).status_code == 200
    target = tmp_path / "out.bin"
    target.write_bytes(b"old")

    def replace(index, *progress):
        if index == 0:
            assert client.upload(key, os.urandom(new_size)).status_code == 200

    with pytest.raises(Exception) as info:
        client.multipart_download(key, str(target), 16384, replace)
    assert str(info.value).startswith("下载分片 2 失败: 206 ")
    assert target.read_bytes() == b"old" and os.listdir(tmp_path) == ["out.bin"]


def test_multipart_download_of_a_missing_object_leaves_the_file(site, tmp_path):
    target = tmp_path / "keep.bin"
    target.write_bytes(b"keep me")
    with pytest.raises(Exception) as info:
        site.client.multipart_download("download/no such object", str(target))
    assert str(info.value).startswith("获取文件信息失败: 404 ")
    assert target.read_bytes() == b"keep me"
    assert os.listdir(tmp_path) == ["keep.bin"]


# ---- batch delete, delete by prefix, statistics ------------------------------------------------

AWKWARD = ["del/a b", "del/x&y", "del/p+q", "del/l<t>g", "del/ünï", "del/中文", "del/quote\"'", "del/amp&amp;",
           "del/100%", "del/tab\there", "del/slash//double"]


def check_delete_bodies(site, keys):
    """The DeleteObjects requests sent: each body names its keys in order, and its Content-MD5 is the
    Base64 MD5 of the body (the loopback server takes any Content-MD5, so it is checked here)."""
    named = []
    for method, url, headers, body in site.requests("POST", "delete"):
        assert headers["content-md5"] == base64.b64encode(hashlib.md5(body).digest()).decode()
        assert headers["content-type"] == "application/xml"
        root = ET.fromstring(body)
        assert root.tag == "Delete" and root.find("Quiet").text == "false"
        batch = [element.text for element in root.iter("Key")]
        assert 1 <= len(batch) <= 1000
        named.append(batch)
    assert [key for batch in named for key in batch] == keys
    return [len(batch) for batch in named]


def test_delete_objects_of_awkward_keys(site):
    client = site.client
    for key in AWKWARD:
        assert client.upload(key, key.encode()).status_code == 200, key
    assert sorted(list_all(client, "del/")) == sorted(AWKWARD)
    site.sent.clear()

    result = client.delete_objects(AWKWARD)

    assert result["errors"] == []
    assert sorted(result["deleted"]) == sorted(AWKWARD)
    assert check_delete_bodies(site, AWKWARD) == [len(AWKWARD)]
    assert list_all(client, "del/") == []
    assert_gone(client, AWKWARD)


def test_delete_objects_of_a_key_with_a_carriage_return(site):
    client = site.client
    key = "cr/carriage\rreturn"
    stored = client.upload(key, b"cr")
    if stored.status_code != 200:
        pytest.skip(f"the server does not store a key with a carriage return: {status(stored)}")
    assert client._download(key).content == b"cr"
    site.sent.clear()

    result = client.delete_objects([key, "cr/plain"])

    assert result["errors"] == []
    # The server may write the key raw or as &#13; in its answer.
    assert sorted(result["deleted"]) in (sorted([key, "cr/plain"]), sorted([read_back(key), "cr/plain"]))
    (body,) = [s[3] for s in site.requests("POST", "delete")]
    assert b"carriage&#13;return" in body
    check_delete_bodies(site, [key, "cr/plain"])
    assert client._download(key).status_code == 404
    assert list_all(client, "cr/") == []


@pytest.mark.parametrize("prefix", ["dbp/", "d b+p ü/"])
def test_delete_by_prefix(site, prefix):
    client = site.client
    inside = [prefix + "one", prefix + "two ü", prefix + "sub/three & four"]
    outside = [prefix[:-1] + "-sibling", prefix[:-1] + "x/one", "other/" + prefix + "one", prefix.upper() + "upper"]
    for key in inside + outside:
        assert client.upload(key, key.encode()).status_code == 200

    assert client.delete_by_prefix(prefix) == 3

    assert list_all(client, prefix) == []
    assert_gone(client, inside)
    for key in outside:
        assert client._download(key).content == key.encode()
    assert client.delete_by_prefix(prefix) == 0


def test_bucket_stats_over_several_pages(site, monkeypatch):
    stats_site = site.make(f"{RUN}-{site.flavour}-stats")
    assert stats_site.client._bucket_request("PUT", "").status_code == 200
    client = stats_site.client
    assert client.get_bucket_stats() == {"object_count": 0, "total_size": 0}
    bodies = [os.urandom(100 * i + 1) for i in range(7)]
    for i, body in enumerate(bodies):
        assert client.upload(f"stats/{i} ü", body).status_code == 200
    # Pages of 3 entries, so that the walk needs three listing pages.
    monkeypatch.setattr(BaseStorageClient, "iter_objects",
                        functools.partialmethod(BaseStorageClient.iter_objects, page_size=3))
    stats_site.sent.clear()

    stats = client.get_bucket_stats()

    assert stats == {"object_count": 7, "total_size": sum(len(b) for b in bodies)}
    assert len(stats_site.requests("GET", "list-type")) == 3


@pytest.mark.parametrize("site", ["v4-path"], indirect=True)
def test_crowded_bucket_statistics_and_batch_delete_of_2500_keys(site):
    """2,500 keys in three DeleteObjects batches. The objects of every other key are stored (1,250,
    two listing pages for the statistics; the loopback server stores about 150 objects a second);
    the service reports a key without an object as deleted too."""
    crowded = site.make(f"{RUN}-crowded")
    assert crowded.client._bucket_request("PUT", "").status_code == 200
    client = crowded.client
    keys = [f"crowd/{i:04d}" for i in range(2500)]
    for i, key in enumerate(AWKWARD + ["crowd/ünï 中文 & + < >"]):
        keys[i * 200] = key.replace("del/", f"crowd/{i * 200:04d} ")
    stored = {key: b"x" * (i % 13) for i, key in enumerate(keys) if i % 2 == 0}
    with ThreadPoolExecutor(4) as pool:
        statuses = list(pool.map(lambda key: client.upload(key, stored[key]).status_code, stored))
    assert statuses == [200] * 1250

    assert client.get_bucket_stats() == {"object_count": 1250, "total_size": sum(map(len, stored.values()))}
    crowded.sent.clear()

    result = client.delete_objects(keys)

    assert result["errors"] == []
    assert sorted(result["deleted"]) == sorted(keys)
    assert check_delete_bodies(crowded, keys) == [1000, 1000, 500]
    assert client.list(prefix="crowd/", limit=1000)["objects"] == []
    assert client.get_bucket_stats() == {"object_count": 0, "total_size": 0}
    assert_gone(client, keys[::200] + [keys[998], keys[1000], keys[2498]])


# ---- bucket management -------------------------------------------------------------------------

def test_bucket_lifecycle(site):
    name = f"{RUN}-{site.flavour}-life"
    client = site.client
    assert client.bucket_exists(name) is False
    assert client.create_bucket(name) is True
    assert client.bucket_exists(name) is True

    listed = {entry["name"]: entry for entry in client.list_buckets()}
    assert name in listed and site.client.bucket in listed
    assert list(listed[name]) == ["name", "creation_date"]
    datetime.fromisoformat(listed[name]["creation_date"].replace("Z", "+00:00"))

    assert client.delete_bucket(name) is True
    assert client.bucket_exists(name) is False
    assert name not in [entry["name"] for entry in client.list_buckets()]
    with pytest.raises(Exception) as info:
        client.delete_bucket(name)
    assert str(info.value).startswith("删除存储桶失败: 404 ") and "NoSuchBucket" in str(info.value)


def test_own_bucket_by_default(site):
    own = site.make(f"{RUN}-{site.flavour}-own")
    client = own.client
    assert client.bucket_exists() is False
    assert client.create_bucket() is True
    assert client.bucket_exists() is True
    assert client.upload("k", b"v").status_code == 200
    with pytest.raises(Exception) as info:
        client.delete_bucket()
    assert str(info.value).startswith("删除存储桶失败: 409 ") and "BucketNotEmpty" in str(info.value)
    assert client.delete("k").status_code == 204
    assert client.delete_bucket() is True
    assert client.bucket_exists() is False


def test_an_empty_key_never_reaches_the_bucket(site):
    own = site.make(f"{RUN}-{site.flavour}-keyless")
    client = own.client
    assert client.create_bucket() is True
    assert client.upload("k", b"kept").status_code == 200
    for step in ("with an object", "empty"):
        sent = len(own.sent)
        with pytest.raises(ValueError, match="^key must not be empty$"):
            client.delete("")  # on the bucket itself, DELETE is DeleteBucket
        assert len(own.sent) == sent and client.bucket_exists() is True, step
        if step == "with an object":
            assert client._download("k").content == b"kept"
            assert client.delete("k").status_code == 204
    assert client.delete_bucket() is True


def test_a_bucket_name_with_dot_segments_never_reaches_another_bucket(site):
    own = site.make(f"{RUN}-{site.flavour}-near")
    victim = f"{RUN}-{site.flavour}-victim"
    assert own.client.create_bucket() is True and own.client.create_bucket(victim) is True
    sent = len(own.sent)
    with pytest.raises(ValueError, match="^bucket_name must not hold "):
        own.client.delete_bucket(f"{own.client.bucket}/../{victim}")
    assert len(own.sent) == sent
    assert own.client.bucket_exists(victim) is True
    assert own.client.delete_bucket(victim) is True and own.client.delete_bucket() is True


@pytest.mark.parametrize("site", ["v4-path", "v4-virtual"], indirect=True)
def test_create_bucket_in_another_region(site):
    name = f"{RUN}-{site.flavour}-eu"
    regional = site.make(name, region="eu-west-1").client
    assert regional.create_bucket() is True
    location = regional._bucket_request("GET", "", {"location": ""})
    assert location.status_code == 200, status(location)
    assert ET.fromstring(location.text).text == "eu-west-1"
    assert regional.delete_bucket() is True


@pytest.mark.parametrize("site", ["v4-path", "v4-virtual"], indirect=True)
def test_checking_server_refuses_a_wrong_secret(site):
    wrong = site.make(site.client.bucket, secret="not-the-secret").client
    assert site.client.bucket_exists() is True
    assert wrong.bucket_exists() is False
    with pytest.raises(Exception) as info:
        wrong.list_buckets()
    assert str(info.value).startswith("列出存储桶失败: 403 ") and "SignatureDoesNotMatch" in str(info.value)
    with pytest.raises(Exception) as info:
        wrong.create_bucket(f"{RUN}-never")
    assert str(info.value).startswith("创建存储桶失败: 403 ")
    assert site.client.bucket_exists(f"{RUN}-never") is False
