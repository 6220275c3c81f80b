"""Keys with "." and ".." segments reach exactly that key. HTTP clients remove such segments from
a URL's path (httpx does, so do browsers): sent naively, "logs/../important" would delete
"important" and "x/.." would address the bucket itself."""

import uuid

import boto3
import botocore.config
import httpx
import pytest

import reference
from corvault.dravik import DravikClient
from s3server import V2_ACCESS_KEY
from test_roundtrip_requests import LoopbackTransport

DOTTED = ["logs/../important", "a/./b", "x/..", "./lead", ".."]
NEIGHBOURS = {"important": b"keep me", "a/b": b"and me", "lead": b"me too"}  # where the dots would lead

FLAVOURS = {  # server fixture, signature version, addressing style
    "v4-path": ("s3_server_checked", "v4", "path"),
    "v4-virtual": ("s3_server_checked", "v4", "virtual"),
    "v2-path": ("s3_server", "dravik", "path"),
}


@pytest.fixture(params=list(FLAVOURS))
def bucket(request):
    fixture, version, style = FLAVOURS[request.param]
    server = request.getfixturevalue(fixture)
    transport = LoopbackTransport() if style == "virtual" else httpx.HTTPTransport()
    client = DravikClient(V2_ACCESS_KEY if version == "dravik" else server.access_key, server.secret_key,
                          "dots-" + uuid.uuid4().hex[:12], region=server.region, endpoint=server.endpoint,
                          http_client=httpx.Client(transport=transport), signature_version=version,
                          addressing_style=style)
    assert client._bucket_request("PUT", "").status_code == 200
    for key, body in NEIGHBOURS.items():
        assert client.upload(key, body).status_code == 200
    return client


def plain_client(server):
    client = DravikClient(V2_ACCESS_KEY, server.secret_key, "dots-" + uuid.uuid4().hex[:12], region=server.region,
                          endpoint=server.endpoint, http_client=httpx.Client(), signature_version="dravik")
    assert client._bucket_request("PUT", "").status_code == 200
    return client


def listed(client):
    return sorted(entry["key"] for entry in client.iter_objects())


def test_store_list_read_and_delete_reach_exactly_the_key(bucket):
    for key in DOTTED:
        response = bucket.upload(key, f"body of {key}".encode())
        assert response.status_code == 200, response.text
    assert listed(bucket) == sorted(DOTTED + list(NEIGHBOURS))
    for key in DOTTED:
        assert bucket._download(key).content == f"body of {key}".encode()
        assert bucket.head(key).status_code == 200
    for key in DOTTED:
        assert bucket.delete(key).status_code == 204
    # The neighbours and the bucket itself are untouched.
    assert listed(bucket) == sorted(NEIGHBOURS)
    for key, body in NEIGHBOURS.items():
        assert bucket._download(key).content == body


def test_copy_and_batch_delete_reach_exactly_the_keys(bucket):
    bucket.upload("logs/../important", b"dotted")
    assert bucket.copy_object("logs/../important", "copy/./x/..")
    assert bucket._download("copy/./x/..").content == b"dotted"
    assert bucket.delete_objects(["logs/../important", "copy/./x/.."]) == \
        {"deleted": ["logs/../important", "copy/./x/.."], "errors": []}
    assert listed(bucket) == sorted(NEIGHBOURS)
    assert bucket._download("important").content == NEIGHBOURS["important"]


def test_keys_agree_with_botocore(s3_server):
    """botocore keeps such keys apart: what one client stores, the other reads under the same key."""
    client = plain_client(s3_server)
    boto = boto3.client("s3", endpoint_url=s3_server.endpoint, region_name=s3_server.region,
                        aws_access_key_id=s3_server.access_key, aws_secret_access_key=s3_server.secret_key,
                        config=botocore.config.Config(s3={"addressing_style": "path"}))
    for key in DOTTED:
        boto.put_object(Bucket=client.bucket, Key=key, Body=b"boto " + key.encode())
        assert client._download(key).content == b"boto " + key.encode()
        client.upload(key, b"ours " + key.encode())
        assert boto.get_object(Bucket=client.bucket, Key=key)["Body"].read() == b"ours " + key.encode()


@pytest.mark.parametrize("key", DOTTED)
def test_handed_out_urls_reach_the_key(s3_server, key):
    client = plain_client(s3_server)
    public = {"x-amz-acl": "public-read"}  # the plain URL is fetched without credentials
    for target in ("important", "a/b", "lead"):
        client.upload(target, b"wrong object", headers=public)
    client.upload(key, b"right object", headers=public)
    for url in (client.get_path_url(key), client.get_shared_url(key, 600)):
        assert httpx.get(url).content == b"right object", url
    assert key in listed(client)
    for target in ("important", "a/b", "lead"):
        assert client._download(target).content == b"wrong object"


@pytest.mark.parametrize("style", ["path", "virtual"])
@pytest.mark.parametrize("key", DOTTED)
def test_shared_url_signs_the_key_as_the_service_reads_it(key, style, frozen_time, monkeypatch):
    """The service decodes "%2E" back to "." before it signs the path anew, as botocore signs the key."""
    now = frozen_time(1369353600)
    client = DravikClient("AK", "SK", "bkt", endpoint="https://s3.example.com", addressing_style=style,
                          http_client=object())
    url, _, query = client.get_shared_url(key, 600).partition("?")
    assert url == client.get_path_url(key)
    host = "bkt.s3.example.com" if style == "virtual" else "s3.example.com/bkt"
    theirs = reference.sigv4_presigned_query("AK", "SK", client.region, f"https://{host}/{key}", 600, {},
                                             reference.utc(now), monkeypatch)
    assert query.endswith("&X-Amz-Signature=" + theirs["X-Amz-Signature"])


def test_only_dotted_paths_carry_the_target(recorder):
    client = DravikClient("AK", "SK", "bkt", endpoint="http://127.0.0.1:9000", http_client=recorder.client)
    client._request("GET", "a/../b", {"x": "a b"})
    assert recorder.last_call.kw("extensions") == {"target": "/bkt/a/../b?x=a%20b"}
    client._request("GET", "a/..b", extensions={"trace": None})
    assert recorder.last_call.kw("extensions") == {"trace": None}
    own = {"trace": None}
    client._request("GET", "./k", extensions=own)
    assert recorder.last_call.kw("extensions") == {"trace": None, "target": "/bkt/./k"}
    assert own == {"trace": None}
    with pytest.raises(ValueError, match="cannot be sent with params="):
        client._request("GET", "x/..", params={"a": "1"})
    assert len(recorder.calls) == 3
