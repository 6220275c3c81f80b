"""Names that would address something other than what the call names: an empty object key puts the
request on the bucket itself (DELETE of the bucket is DeleteBucket, PUT is CreateBucket), and a
bucket name holding "/", "?" or "#", or one that is a dot segment, reaches another bucket. Such
names are refused before any request is sent."""

import httpx
import pytest

from corvault.dravik import DravikClient
from corvault.kestry import KestryOSSClient
from corvault.zorbeck import ZorbeckClient

CLIENTS = {
    "dravik": lambda http: DravikClient("AK", "SK", "bkt", endpoint="http://127.0.0.1:9000", http_client=http),
    "zorbeck": lambda http: ZorbeckClient("SID", "SKEY", "bkt-1250000000", http_client=http),
    "kestry": lambda http: KestryOSSClient("ak", "sk", "bucket", http_client=http),
}
S3_CLIENTS = ["dravik", "zorbeck"]

# name: (parameter, call with that parameter's value `k`, the clients that have the operation)
OBJECT_OPERATIONS = {
    "upload": ("key", lambda c, k, path: c.upload(k, b"data"), list(CLIENTS)),
    "upload_file": ("key", lambda c, k, path: c.upload_file(k, path), list(CLIENTS)),
    "head": ("key", lambda c, k, path: c.head(k), list(CLIENTS)),
    "_download": ("key", lambda c, k, path: c._download(k), list(CLIENTS)),
    "delete": ("key", lambda c, k, path: c.delete(k), list(CLIENTS)),
    "copy_object-src": ("src_key", lambda c, k, path: c.copy_object(k, "dest"), S3_CLIENTS),
    "copy_object-dest": ("dest_key", lambda c, k, path: c.copy_object("src", k), S3_CLIENTS),
    "initiate": ("key", lambda c, k, path: c.initiate_multipart_upload(k), list(CLIENTS)),
    "upload_part": ("key", lambda c, k, path: c.upload_part(k, "u", 1, b"part"), list(CLIENTS)),
    "finish": ("key", lambda c, k, path: c.finish_multipart_upload(k, "u", ['"e1"']), list(CLIENTS)),
    "abort": ("key", lambda c, k, path: c.abort_multipart_upload(k, "u"), list(CLIENTS)),
    "multipart_download": ("key", lambda c, k, path: c.multipart_download(k, path + ".out"), list(CLIENTS)),
}


@pytest.mark.parametrize("client, operation", [
    pytest.param(client, operation, id=f"{operation}-{client}")
    for operation, (_, _, clients) in OBJECT_OPERATIONS.items() for client in clients])
@pytest.mark.parametrize("key, error, message", [
    ("", ValueError, "{} must not be empty"),
    (None, TypeError, r"Argument '{}' has incorrect type \(expected str, got NoneType\)"),
])
def test_an_object_operation_refuses_an_empty_key_before_sending(client, operation, key, error, message, recorder,
                                                                 tmp_path):
    parameter, call, _ = OBJECT_OPERATIONS[operation]
    path = tmp_path / "local"
    path.write_bytes(b"data")
    with pytest.raises(error, match=f"^{message.format(parameter)}$"):
        call(CLIENTS[client](recorder.client), key, str(path))
    assert recorder.calls == [] and recorder.sent == []
    assert sorted(p.name for p in tmp_path.iterdir()) == ["local"]


def test_the_listing_primitive_still_takes_the_empty_key(recorder):
    for make in CLIENTS.values():
        assert make(recorder.client)._request("GET", "").status_code == 200
    assert [httpx.URL(s.url).path for s in recorder.sent] == ["/bkt/", "/", "/"]


BAD_BUCKET_NAMES = ["own/../victim", "victim/", "/", "b?acl", "b#frag", ".", ".."]
BUCKET_OPERATIONS = {  # name: (call, answer for a refused name: None when it raises)
    "create_bucket": (lambda c, name: c.create_bucket(name), None),
    "delete_bucket": (lambda c, name: c.delete_bucket(name), None),
    "bucket_exists": (lambda c, name: c.bucket_exists(name), False),
}
BUCKET_URLS = {  # client: (its own bucket's URL, that of "my.bucket")
    "dravik": ("http://127.0.0.1:9000/bkt/", "http://127.0.0.1:9000/my.bucket/"),
    "zorbeck": ("https://bkt-1250000000.cos.ap-guangzhou.myqcloud.com/",
                "https://my.bucket.cos.ap-guangzhou.myqcloud.com/"),
}


@pytest.mark.parametrize("client", S3_CLIENTS)
@pytest.mark.parametrize("operation", list(BUCKET_OPERATIONS))
@pytest.mark.parametrize("name", BAD_BUCKET_NAMES)
def test_a_bucket_name_that_leaves_its_segment_is_refused(client, operation, name, recorder):
    call, answer = BUCKET_OPERATIONS[operation]
    made = CLIENTS[client](recorder.client)
    if answer is None:
        with pytest.raises(ValueError, match=r"^bucket_name must not hold '/', '\?' or '#', nor be '\.' or '\.\.'$"):
            call(made, name)
    else:
        assert call(made, name) is answer
    assert recorder.calls == [] and recorder.sent == []


@pytest.mark.parametrize("client", S3_CLIENTS)
@pytest.mark.parametrize("operation", list(BUCKET_OPERATIONS))
def test_the_empty_bucket_name_is_the_own_bucket_and_a_dot_inside_a_name_is_kept(client, operation, recorder):
    recorder.default = lambda request: httpx.Response(200 if request.method != "DELETE" else 204)
    made = CLIENTS[client](recorder.client)
    call, _ = BUCKET_OPERATIONS[operation]
    assert call(made, "") is True and call(made, "my.bucket") is True
    assert tuple(s.url for s in recorder.sent) == BUCKET_URLS[client]
