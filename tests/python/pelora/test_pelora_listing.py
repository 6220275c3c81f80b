"""One page of the file list: the request as sent and the record read from the JSON answer."""

import httpx
import pytest

from ufile_reference import HOST, auth, wire_timeout


def test_request_with_defaults(make, recorder, capsys):
    recorder.respond(httpx.Response(200, json={}))
    assert make().list() == {"objects": [], "is_truncated": False}
    sent = recorder.last
    assert (sent.method, sent.url) == ("GET", HOST + "/?list&prefix&marker&limit=20")
    assert sent.header("Authorization") == auth("GET", "")
    assert sent.timeout == wire_timeout(None)
    assert capsys.readouterr().out == ""


def test_request_with_arguments_signs_what_is_sent(make, recorder):
    recorder.respond(httpx.Response(200, json={}))
    caller = {"Content-Type": "text/plain", "x-ucloud-meta-a": "1", "Date": "D"}
    make(timeout=7, domain_url="https://cdn.example", is_domain_upload=True).list("a b/", "m+1", 5.9, caller)
    sent = recorder.last
    assert sent.url == HOST + "/?list&prefix=a%20b%2F&marker=m%2B1&limit=5"
    assert sent.header("Authorization") == auth("GET", "", ctype="text/plain", date="D",
                                                vendor=[("x-ucloud-meta-a", "1")])
    assert sent.timeout == wire_timeout(7)
    assert caller == {"Content-Type": "text/plain", "x-ucloud-meta-a": "1", "Date": "D"}


@pytest.mark.parametrize("item, entry", [
    ({"FileName": "a", "Size": 3, "ModifyTime": 1408298579, "MimeType": "image/jpeg", "Hash": "h1"},
     {"key": "a", "size": 3, "modify_time": 1408298579, "mime_type": "image/jpeg", "etag": "h1"}),
    ({"FileName": "b", "Size": "12", "Etag": '"e"', "Hash": "ignored"},
     {"key": "b", "size": "12", "modify_time": "", "mime_type": "", "etag": '"e"'}),
    ({}, {"key": "", "size": 0, "modify_time": "", "mime_type": "", "etag": ""}),
])
def test_entries(item, entry, make, recorder):
    recorder.respond(httpx.Response(200, json={"DataSet": [item], "NextMarker": "next"}))
    assert make().list() == {"objects": [entry], "is_truncated": True, "next_marker": "next"}


@pytest.mark.parametrize("answer, error", [
    (httpx.Response(403, json={"RetCode": -1, "ErrMsg": "denied"}), None),
    (httpx.Response(200, text="not json"), ValueError),
    (httpx.Response(200, json={"DataSet": None}), TypeError),
    (httpx.Response(200, json={"DataSet": [1]}), AttributeError),
    (httpx.Response(200, json=[]), AttributeError),
])
def test_answers_of_another_shape(answer, error, make, recorder):
    recorder.respond(answer)
    if error is None:
        assert make().list() == {"objects": [], "is_truncated": False}
    else:
        with pytest.raises(error):
            make().list()
