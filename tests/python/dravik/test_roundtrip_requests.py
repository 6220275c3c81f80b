"""Signed requests accepted by a real S3-compatible server on loopback.

The checking server verifies Signature V4 header signatures; the plain one serves what it cannot
check (Signature V2, pre-signed URLs)."""

import hashlib
import time
import uuid

import httpx
import pytest

from corvault.dravik import DravikClient
from s3server import V2_ACCESS_KEY


class LoopbackTransport(httpx.HTTPTransport):
    """Connects every request to 127.0.0.1, keeping the URL's host in the Host header, so that
    virtual-host names like bucket.127.0.0.1 reach the local server."""

    def handle_request(self, request):
        request.url = request.url.copy_with(host="127.0.0.1")
        return super().handle_request(request)


def make_client(server, bucket, secret=None, **kwargs):
    http = httpx.Client(transport=LoopbackTransport()) if kwargs.get("addressing_style") == "virtual" else httpx.Client()
    return DravikClient(server.access_key, secret or server.secret_key, bucket, region=server.region,
                        endpoint=server.endpoint, http_client=http, **kwargs)


def new_bucket(client):
    response = client._bucket_request("PUT", "")
    assert response.status_code == 200, response.text
    return client


@pytest.fixture(scope="module")
def checked(s3_server_checked):
    return new_bucket(make_client(s3_server_checked, "rt-" + uuid.uuid4().hex[:12]))


KEYS = ["plain.txt", "a b.txt", "tilde~name", "dir/sub/file.bin", "x=y&z", "(paren)'s*!", "ünï cødé", "a+b", "100%"]


@pytest.mark.parametrize("key", KEYS)
def test_put_and_get_awkward_keys(checked, key):
    body = f"body of {key}".encode()
    put = checked._request("PUT", key, data=body)
    assert put.status_code == 200, put.text
    got = checked._request("GET", key)
    assert (got.status_code, got.content) == (200, body)


def test_metadata_headers_with_prefix_names_and_inner_blanks(checked):
    headers = {"x-amz-meta-a": "one", "x-amz-meta-a-b": "two   words\t here", "Content-Type": "text/plain"}
    put = checked._request("PUT", "meta.txt", data=b"m", headers=headers)
    assert put.status_code == 200, put.text
    head = checked._request("HEAD", "meta.txt")
    assert head.status_code == 200
    assert head.headers["x-amz-meta-a"] == "one"
    assert head.headers["x-amz-meta-a-b"].strip().startswith("two")


def test_callers_payload_hash(checked):
    body = b"hashed payload"
    headers = {"X-Amz-Content-SHA256": hashlib.sha256(body).hexdigest()}
    put = checked._request("PUT", "hashed.bin", data=body, headers=headers)
    assert put.status_code == 200, put.text
    assert checked._request("GET", "hashed.bin").content == body


def test_callers_request_time_in_any_letter_case(checked):
    two_minutes_ago = time.strftime("%Y%m%dT%H%M%SZ", time.gmtime(time.time() - 120))
    put = checked._request("PUT", "dated.txt", data=b"d", headers={"X-Amz-Date": two_minutes_ago})
    assert put.status_code == 200, put.text


def test_queries_with_empty_values_and_slashes(checked):
    for key in ("q/one", "q/two", "q/deep/three"):
        assert checked._request("PUT", key, data=b"q").status_code == 200
    listing = checked._request("GET", "", {"list-type": "2", "prefix": "q/", "delimiter": "/"})
    assert listing.status_code == 200, listing.text
    assert "<Key>q/one</Key>" in listing.text and "<Prefix>q/deep/</Prefix>" in listing.text
    acl = checked._request("GET", "plain.txt", {"acl": ""})
    assert acl.status_code == 200, acl.text
    bucket_acl = checked._bucket_request("GET", "", {"acl": ""})
    assert bucket_acl.status_code == 200, bucket_acl.text


def test_virtual_host_style(s3_server_checked, checked):
    virtual = make_client(s3_server_checked, checked.bucket, addressing_style="virtual")
    assert virtual._request("PUT", "virtual key.txt", data=b"v").status_code == 200
    assert virtual._request("GET", "virtual key.txt").content == b"v"
    assert virtual._bucket_request("GET", "", {"list-type": "2"}).status_code == 200


def test_wrong_secret_is_refused(s3_server_checked, checked):
    wrong = make_client(s3_server_checked, checked.bucket, secret="not-the-secret")
    response = wrong._request("GET", "plain.txt")
    assert response.status_code == 403 and "SignatureDoesNotMatch" in response.text


@pytest.fixture(scope="module")
def plain(s3_server):
    return new_bucket(make_client(s3_server, "rt-plain-" + uuid.uuid4().hex[:8]))


def test_presigned_url_fetched_with_plain_httpx(plain):
    assert plain._request("PUT", "shared file.txt", data=b"shared").status_code == 200
    url = plain.get_shared_url("shared file.txt", 60)
    response = httpx.get(url)
    assert (response.status_code, response.content) == (200, b"shared")


def test_signature_version_2_round_trip(s3_server, plain):
    v2 = DravikClient(V2_ACCESS_KEY, s3_server.secret_key, plain.bucket, region=s3_server.region,
                      endpoint=s3_server.endpoint, http_client=httpx.Client(), signature_version="dravik")
    assert v2._request("PUT", "v2 key", data=b"two").status_code == 200
    assert v2._request("GET", "v2 key").content == b"two"
