"""The request primitive and every operation sent through it: the request on the wire, the line
printed for it, its signature against the documented one, and the caller's headers left alone."""

import io

import httpx
import pytest

from ufile_reference import HOST, auth, wire_timeout

CALLER = {"X-UCloud-Meta-Tag": "t1"}
VENDOR = [("x-ucloud-meta-tag", "t1")]

# name: (call, key, method, URL sent, line printed, headers the operation adds, body, signed content headers)
OPERATIONS = {
    "upload": (lambda c, h: c.upload("d/a b?#%.txt", b"xy", "text/plain", "bWQ1", h), "d/a b?#%.txt",
               "PUT", HOST + "/d/a%20b%3F%23%25.txt", HOST + "/d/a%20b%3F%23%25.txt",
               {"Content-Type": "text/plain", "Content-MD5": "bWQ1"}, b"xy", {"ctype": "text/plain", "md5": "bWQ1"}),
    "_download": (lambda c, h: c._download("k", h), "k", "GET", HOST + "/k", HOST + "/k", {}, b"", {}),
    "head": (lambda c, h: c.head("k", h), "k", "HEAD", HOST + "/k", HOST + "/k", {}, b"", {}),
    "delete": (lambda c, h: c.delete("k", h), "k", "DELETE", HOST + "/k", HOST + "/k", {}, b"", {}),
    "initiate": (lambda c, h: c.initiate_multipart_upload("a.bin", None, h), "a.bin", "POST", HOST + "/a.bin?uploads",
                 HOST + "/a.bin", {"Content-Length": "0"}, b"", {}),
    "upload_part": (lambda c, h: c.upload_part("k", "a/b c", 0, b"part", headers=h), "k",
                    "PUT",
                    HOST + "/k?uploadId=a%2Fb%20c&partNumber=0", HOST + "/k",
                    {"Content-Type": "application/octet-stream"}, b"part", {"ctype": "application/octet-stream"}),
    "finish": (lambda c, h: c.finish_multipart_upload("k", "u", ["e1", "e2"], "new/key", h), "k", "POST",
               HOST + "/k?uploadId=u&newKey=new%2Fkey", HOST + "/k", {"Content-Type": "text/plain"}, b"e1,e2",
               {"ctype": "text/plain"}),
    "abort": (lambda c, h: c.abort_multipart_upload("k", "u", h), "k", "DELETE", HOST + "/k?uploadId=u", HOST + "/k",
              {}, b"", {}),
}


@pytest.mark.parametrize("name", OPERATIONS)
def test_operation_wire_form(name, make, recorder, capsys):
    call, key, method, url, printed, added, body, content = OPERATIONS[name]
    caller = dict(CALLER)
    call(make(), caller)
    sent = recorder.last
    assert (sent.method, sent.url, sent.body) == (method, url, body)
    signed = auth(method, key, vendor=VENDOR, **content)
    assert recorder.last_call.kw("headers") == {**CALLER, **added, "Authorization": signed}
    assert capsys.readouterr().out == printed + "\n"
    assert caller == CALLER


def test_primitive_query_rule_and_empty_key(make, recorder, capsys):
    client = make()
    client._request("GET", "", query_params={"a": "", "b": 20, "c": None, "d": "x/y z~é"})
    assert recorder.last.url == HOST + "?a&b=20&c=None&d=x%2Fy%20z~%C3%A9"
    assert recorder.last.header("Authorization") == auth("GET", "")
    assert capsys.readouterr().out == HOST + "\n"
    client._request("GET", "/lead", query_params={}, base_url="http://other")
    assert recorder.last.url == "http://other//lead"


def test_primitive_prints_through_sys_stdout(make, recorder, monkeypatch):
    captured = io.StringIO()
    monkeypatch.setattr("sys.stdout", captured)
    make()._request("GET", "k")
    assert captured.getvalue() == HOST + "/k\n"


def test_primitive_prints_before_a_failure(make, capsys):
    client = make()
    with pytest.raises(AttributeError, match="'NoneType' object has no attribute 'get'"):
        client._request("GET", "k", headers=None)
    assert capsys.readouterr().out == HOST + "/k\n"


def test_content_headers_in_any_case_are_signed(make, recorder):
    make().upload("k", b"x", headers={"content-type": "a/b", "content-md5": "m", "date": "D"})
    assert recorder.last.header("Authorization") == auth("PUT", "k", ctype="a/b", md5="m", date="D")


@pytest.mark.parametrize("name", ["Content-Type", "content-md5", "DATE", "X-UCloud-Meta-Tag"])
@pytest.mark.parametrize("value", [b"text/plain", bytearray(b"text/plain")])
@pytest.mark.parametrize("call", [lambda c, h: c.upload("k", b"x", headers=h), lambda c, h: c.list(headers=h)])
def test_a_bytes_value_of_a_signed_header_is_refused_before_sending(name, value, call, make, recorder):
    with pytest.raises(TypeError, match=f"^header '{name}' must be str, not {type(value).__name__}$"):
        call(make(), {name: value})
    assert recorder.sent == []


def test_explicit_content_type_replaces_any_case_entry(make, recorder):
    caller = {"content-type": "a/b", "CONTENT-MD5": "old"}
    make().upload("k", b"x", content_type="image/png", content_md5="new", headers=caller)
    sent = [(k.lower(), v) for k, v in recorder.last.headers if k.lower().startswith("content-")]
    assert sorted(sent) == [("content-length", "1"), ("content-md5", "new"), ("content-type", "image/png")]
    assert recorder.last.header("Authorization") == auth("PUT", "k", ctype="image/png", md5="new")
    assert caller == {"content-type": "a/b", "CONTENT-MD5": "old"}


def test_raw_bodies_reach_httpx_as_content(make, recorder):
    client = make()
    client.upload("k", "é")
    assert "content" in recorder.last_call.keyword_names and "data" not in recorder.last_call.keyword_names
    assert recorder.last.body == "é".encode()
    stream = io.BytesIO(b"skipped|sent")
    stream.read(8)
    client.upload("k", stream)
    assert recorder.last.body == b"sent"


@pytest.mark.parametrize("default, call, expected", [
    (30, lambda c: c.head("k"), 10),
    (30, lambda c: c.head("k", timeout=None), 30),
    (30, lambda c: c._download("k"), 30),
    (30, lambda c: c.delete("k"), 30),
    (30, lambda c: c.upload("k", b""), 30),
    (30, lambda c: c.abort_multipart_upload("k", "u"), 30),
    (None, lambda c: c.upload("k", b""), None),
    (None, lambda c: c._download("k"), 5.0),  # the HTTP client's own default
    (None, lambda c: c.head("k", timeout=None), None),
])
def test_time_outs(default, call, expected, make, recorder):
    call(make(timeout=default))
    assert recorder.last.timeout == wire_timeout(expected)


def test_uploads_through_custom_domain_other_requests_to_endpoint(make, recorder, capsys):
    client = make(domain_url="https://cdn.example//", is_domain_upload="yes")
    client.upload("k", b"")
    client.initiate_multipart_upload("k")
    client.head("k")
    assert [s.url for s in recorder.sent] == ["https://cdn.example/k", "https://cdn.example/k?uploads", HOST + "/k"]


def test_error_status_is_returned(make, recorder):
    recorder.respond(httpx.Response(404))
    assert make().head("k").status_code == 404


def test_finish_refuses_a_non_text_etag_before_printing(make, recorder, capsys):
    with pytest.raises(TypeError):
        make().finish_multipart_upload("k", "u", ["e1", 2])
    assert recorder.sent == [] and capsys.readouterr().out == ""


@pytest.mark.parametrize("call", [
    lambda c: c._download("logs/../k"),
    lambda c: c.upload_part("logs/../k", "u", 0, b"x"),
    lambda c: c.download("logs/../k", "unused", chunk_size=1),
    lambda c: c.multipart_download("logs/../k", "unused"),
])
def test_dot_segments_reach_the_key_as_built(call, make, recorder, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    targets = []

    def answer(request):
        if request.method != "HEAD":
            targets.append(request.extensions.get("target"))
        return httpx.Response(200, headers={"Content-Length": "1"}, content=b"x")

    recorder.default = answer
    call(make())
    assert targets and all(t.split("?")[0] == "/logs/../k" for t in targets)
