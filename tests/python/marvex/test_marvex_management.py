"""Construction, management requests and the listing, as they reach the HTTP client."""

import base64

import httpx
import pytest

import corvault.marvex as marvex
from corvault.marvex import MarvexKodoClient

RS = "https://rs-z0.qiniuapi.com"
FORM = "application/x-www-form-urlencoded"


def entry(text):
    return base64.urlsafe_b64encode(text.encode()).decode()


def timeout(value):
    return {name: value for name in ("connect", "read", "write", "pool")}


def test_attributes_in_order(make, spy):
    client = make(timeout=(3, 5), internal=[1], domain_url="https://cdn.example.com//")
    assert vars(client) == {
        "access_key": "AK", "secret_key": "SK", "bucket": "bkt", "region": "z0", "internal": True,
        "default_timeout": (3, 5), "_rs_host": "rs-z0.qiniuapi.com", "_up_host": "up-z0.qiniup.com",
        "_io_host": "iovip-z0.qiniuio.com", "_rs_url": RS, "_up_url": "https://up-z0.qiniup.com",
        "_custom_domain": True, "domain_url": "https://cdn.example.com", "_client": spy,
        "_rsf_url": "https://rsf-z0.qiniuapi.com"}
    plain = make(region="nowhere", domain_url="")
    assert (plain.region, plain._rs_url, plain._custom_domain, plain._cached_domain_url, plain.domain_url) == (
        "nowhere", RS, False, None, None)
    assert list(vars(plain))[11:14] == ["_custom_domain", "_cached_domain_url", "domain_url"]


@pytest.mark.parametrize("region, rs, rsf, up", [
    ("z1", "rs-z1.qiniuapi.com", "rsf-z1.qiniuapi.com", "up-z1.qiniup.com"),
    ("as0", "rs-as0.qiniuapi.com", "rsf-as0.qiniuapi.com", "up-as0.qiniup.com"),
])
def test_regions_of_the_endpoint_table(make, region, rs, rsf, up):
    client = make(region=region)
    assert (client._rs_url, client._rsf_url, client._up_url) == ("https://" + rs, "https://" + rsf, "https://" + up)


def test_endpoint_table_rules(make, monkeypatch):
    monkeypatch.setitem(marvex.REGION_ENDPOINTS, "x", {"rs": "r", "up": 7, "io": "i"})
    client = make(region="x")
    assert (client._rs_url, client._up_url, client._rsf_url) == ("https://r", "https://7", None)
    with pytest.raises(ValueError, match="name no listing host"):
        client.list()
    monkeypatch.setitem(marvex.REGION_ENDPOINTS, "x", {"rs": "r", "up": "u"})
    with pytest.raises(KeyError, match="io"):
        make(region="x")
    monkeypatch.delitem(marvex.REGION_ENDPOINTS, "z0")
    with pytest.raises(KeyError, match="z0"):
        make(region="z1")


@pytest.mark.parametrize("kwargs, message", [
    ({"access_key": b"AK"}, "Argument 'access_key' has incorrect type (expected str, got bytes)"),
    ({"domain_url": 5}, "Argument 'domain_url' has incorrect type (expected str, got int)"),
])
def test_constructor_argument_types(kwargs, message):
    args = {"access_key": "AK", "secret_key": "SK", "bucket": "b", **kwargs}
    with pytest.raises(TypeError) as excinfo:
        MarvexKodoClient(**args)
    assert str(excinfo.value) == message


def test_annotations_as_text():
    C = MarvexKodoClient
    assert "return" not in C.__init__.__annotations__
    assert C.upload.__annotations__ == {
        "key": "str", "data": "Union[bytes, str, BinaryIO]", "content_type": "Optional[str]",
        "content_md5": "Optional[str]", "headers": "Optional[Dict[str, str]]",
        "timeout": "Optional[Union[float, tuple]]", "return": "httpx.Response"}
    assert C.upload_part.__annotations__["content_type"] == "str"
    assert C.upload_part.__annotations__["data"] == "bytes"
    assert C.multipart_download.__annotations__["part_size"] == "int"
    assert C.multipart_upload.__annotations__["part_size"] == "Optional[int]"
    assert C._upload_token.__annotations__["fsize_limit"] == "Optional[int]"
    assert C.finish_multipart_upload.__annotations__["etags"] == "List[str]"
    assert C.list.__annotations__["return"] == "Dict"
    methods = [name for name in vars(C) if callable(vars(C)[name])]
    assert methods[:8] == ["__init__", "_encode_entry_uri", "_management_token", "_upload_token",
                           "_download_token", "_dravik_presigned_url", "_rs_request", "_get_bucket_domain"]
    assert methods[-4:] == ["multipart_upload", "multipart_upload_bytes", "abort_multipart_upload",
                            "multipart_download"]


def test_stat_request(make, spy):
    client = make(timeout=60)
    client.head("d/ü k", {"X-Extra": "1"})
    assert spy.calls == [("get", (RS + "/stat/" + entry("bkt:d/ü k"),), ["headers", "timeout"])]
    sent = spy.last
    assert [(k, v) for k, v in sent.headers.items() if k in ("authorization", "content-type", "x-extra")] == [
        ("authorization", client._management_token("/stat/" + entry("bkt:d/ü k"))), ("content-type", FORM)]
    assert sent.extensions["timeout"] == timeout(10)
    client.head("k", timeout=None)
    assert spy.last.extensions["timeout"] == timeout(60)
    with pytest.raises(TypeError, match="Argument 'headers' has incorrect type"):
        client.head("k", [])


@pytest.mark.parametrize("call, path", [
    (lambda c: c.delete("k"), "/delete/" + entry("bkt:k")),
    (lambda c: c.copy("s", "d"), "/copy/" + entry("bkt:s") + "/" + entry("bkt:d")),
    (lambda c: c.copy("s", "d", "", 1), "/copy/" + entry("bkt:s") + "/" + entry("bkt:d") + "/force/true"),
    (lambda c: c.move("s", "d", "other", force=None), "/move/" + entry("bkt:s") + "/" + entry("other:d")),
    (lambda c: c.move("s", "d", force="yes"), "/move/" + entry("bkt:s") + "/" + entry("bkt:d") + "/force/true"),
])
def test_posted_management_requests(make, spy, call, path):
    spy.answer = lambda request: httpx.Response(612, text="no such file")
    response = call(make())
    assert response.status_code == 612
    assert spy.calls == [("post", (RS + path,), ["headers", "content", "timeout"])]
    assert spy.last.content == b"" and spy.last.extensions["timeout"] == timeout(None)
    assert spy.last.headers["authorization"] == make()._management_token(path)


def test_rs_request_method_is_compared_as_written(make, spy):
    make(timeout=2)._rs_request("get", "/x?a=b", b"body", timeout=0)
    assert spy.calls == [("request", ("get", RS + "/x?a=b"), ["headers", "content", "timeout"])]
    assert spy.last.method == "GET" and spy.last.content == b"body"
    assert spy.last.extensions["timeout"] == timeout(0)
    with pytest.raises(UnicodeDecodeError):
        make()._rs_request("POST", "/x", b"\xff")
    assert len(spy.sent) == 1


LISTING = {"marker": "m2", "items": [
    {"key": "a", "fsize": 3, "putTime": 16999999990000000, "hash": "Fh", "mimeType": "text/plain"},
    {"key": "b"}]}


def test_list_goes_to_the_listing_host_and_reads_the_answer(make, spy):
    spy.answer = lambda request: httpx.Response(200, json=LISTING)
    client = make()
    page = client.list("a b/c", "mk", 5000, {"X-Extra": "1"})
    path = "/list?bucket=bkt&limit=1000&prefix=a+b%2Fc&marker=mk"
    assert spy.calls == [("get", ("https://rsf-z0.qiniuapi.com" + path,), ["headers", "timeout"])]
    assert str(spy.last.url) == "https://rsf-z0.qiniuapi.com" + path
    assert spy.last.headers["authorization"] == client._management_token(path)
    assert "x-extra" not in spy.last.headers
    assert page == {"objects": [
        {"key": "a", "size": 3, "put_time": 16999999990000000, "hash": "Fh", "mime_type": "text/plain"},
        {"key": "b", "size": 0, "put_time": "", "hash": "", "mime_type": ""}],
        "is_truncated": True, "next_marker": "m2"}


@pytest.mark.parametrize("limit, query", [(20, "limit=20"), (1000, "limit=1000"), (0, "limit=0"), (-3, "limit=-3"),
                                          (7.9, "limit=7")])
def test_list_limit(make, spy, limit, query):
    assert make().list(limit=limit) == {"objects": [], "is_truncated": False}
    assert str(spy.last.url).endswith("/list?bucket=bkt&" + query)


def test_list_of_an_error_answer_is_empty(make, spy):
    spy.answer = lambda request: httpx.Response(401, json={"error": "bad token"})
    assert make().list() == {"objects": [], "is_truncated": False}
    spy.answer = lambda request: httpx.Response(200, json={"items": [], "marker": "n"})
    assert make().list() == {"objects": [], "is_truncated": True, "next_marker": "n"}
