"""Object operations, listing, multipart upload steps and the ranged download, as their requests
reach `_request` and the HTTP client, and as they read the scripted answers."""

import collections
import io
import os
import re
import xml.etree.ElementTree as ET

import httpx
import pytest

from corvault.dravik import DravikClient

BASE = "http://127.0.0.1:9000/bkt/"
SIGNED = ["Host", "x-amz-date", "x-amz-content-sha256", "Authorization"]
S3_NS = "http://s3.amazonaws.com/doc/2006-03-01/"
EMPTY_PAGE = "<ListBucketResult/>"
COPIED = '<CopyObjectResult><ETag>"e"</ETag></CopyObjectResult>'

Primitive = collections.namedtuple("Primitive", "args keywords headers_before headers")


@pytest.fixture
def primitive():
    """The `_request` calls of the client made by `make`, recorded before they run."""
    return []


@pytest.fixture
def make(recorder, frozen_time, primitive):
    frozen_time(1369353600)
    recorder.default = lambda request: httpx.Response(
        200, text=COPIED if "x-amz-copy-source" in request.headers else EMPTY_PAGE)

    class Recording(DravikClient):
        def _request(self, *args, **kwargs):
            headers = kwargs.get("headers")
            primitive.append(Primitive(args, list(kwargs.items()), dict(headers or {}), headers))
            return super()._request(*args, **kwargs)

    def factory(**kwargs):
        return Recording("AK", "SK", "bkt", endpoint="http://127.0.0.1:9000", http_client=recorder.client, **kwargs)

    return factory


def wire_timeout(value):
    return {name: value for name in ("connect", "read", "write", "pool")}


def error_text(excinfo):
    return type(excinfo.value), str(excinfo.value)


# name: (call, method, URL, key, _request keywords, own header entries after the caller's, wire body)
OPERATIONS = {
    "upload": (lambda c, h=None, **kw: c.upload("d/a b.txt", "é", "text/plain", "bWQ1", h, **kw),
               "PUT", BASE + "d/a%20b.txt", "d/a b.txt", ["data", "headers", "timeout"],
               {"Content-Type": "text/plain", "Content-MD5": "bWQ1"}, b"\xc3\xa9"),
    "_download": (lambda c, h=None, **kw: c._download("k", h, **kw),
                  "GET", BASE + "k", "k", ["headers", "timeout"], {}, b""),
    "head": (lambda c, h=None, **kw: c.head("k", h, **kw), "HEAD", BASE + "k", "k", ["headers", "timeout"], {}, b""),
    "delete": (lambda c, h=None, **kw: c.delete("k", h, **kw),
               "DELETE", BASE + "k", "k", ["headers", "timeout"], {}, b""),
    "copy_object": (lambda c, h=None, **kw: c.copy_object("s", "d/new", "", h, **kw),
                    "PUT", BASE + "d/new", "d/new", ["headers", "timeout"], {"x-amz-copy-source": "/bkt/s"}, b""),
    "list": (lambda c, h=None, **kw: c.list(headers=h, **kw), "GET", BASE + "?list-type=2&prefix=&max-keys=20", "",
             ["query_params", "headers", "timeout"], {}, b""),
    "initiate": (lambda c, h=None, **kw: c.initiate_multipart_upload("k", "video/mp4", h, **kw),
                 "POST", BASE + "k?uploads=", "k", ["query_params", "headers", "timeout"],
                 {"Content-Type": "video/mp4"}, b""),
    "upload_part": (lambda c, h=None, **kw: c.upload_part("k", "u", 3, b"part", headers=h, **kw),
                    "PUT", BASE + "k?partNumber=3&uploadId=u", "k", ["query_params", "data", "headers", "timeout"],
                    {"Content-Type": "application/octet-stream"}, b"part"),
    "finish": (lambda c, h=None, **kw: c.finish_multipart_upload("k", "u", ['"e1"'], headers=h, **kw),
               "POST", BASE + "k?uploadId=u", "k", ["query_params", "data", "headers", "timeout"],
               {"Content-Type": "application/xml"},
               b'<CompleteMultipartUpload><Part><PartNumber>1</PartNumber><ETag>"e1"</ETag></Part>'
               b"</CompleteMultipartUpload>"),
    "abort": (lambda c, h=None, **kw: c.abort_multipart_upload("k", "u", h, **kw),
              "DELETE", BASE + "k?uploadId=u", "k", ["query_params", "headers", "timeout"], {}, b""),
}


class TestRequests:
    @pytest.mark.parametrize("name", OPERATIONS)
    def test_request_as_it_reaches_request_and_the_http_client(self, make, recorder, primitive, name):
        call, method, url, key, keywords, own, body = OPERATIONS[name]
        call(make(), {"x-amz-meta-a": "1"})
        (prim,) = primitive
        assert prim.args == (method, key)
        assert [k for k, _ in prim.keywords] == keywords
        assert dict(prim.keywords)["timeout"] == (10 if name == "head" else None)
        sent_headers = recorder.last_call.kw("headers")
        assert sent_headers is prim.headers
        assert list(sent_headers) == ["x-amz-meta-a", *own, *SIGNED]
        assert {k: sent_headers[k] for k in own} == own
        # The query travels in the URL, encoded as signed, not as an httpx params keyword; the
        # raw body goes as httpx's `content`.
        assert recorder.last_call.keyword_names == \
            ["headers", *["content" if k == "data" else k for k in keywords if k not in ("query_params", "headers")]]
        assert recorder.last_call.url == url
        (sent,) = recorder.sent
        assert (sent.method, sent.url, sent.body) == (method, url, body)
        assert [(k, v) for k, v in sent.headers if k in sent_headers] == list(sent_headers.items())

    @pytest.mark.parametrize("name", OPERATIONS)
    @pytest.mark.parametrize("headers", [{"x-amz-meta-a": "1", "Content-Type": "text/x", "content-type": "y"}, {}])
    def test_callers_headers_are_never_changed(self, make, primitive, name, headers):
        before = list(headers.items())
        OPERATIONS[name][0](make(), headers)
        assert list(headers.items()) == before
        assert primitive[0].headers is not headers

    @pytest.mark.parametrize("name", OPERATIONS)
    @pytest.mark.parametrize("default, given, on_wire", [(30, "absent", 30), (30, None, 30), (30, 5, 5),
                                                         (None, None, None), (None, "absent", None)])
    def test_timeouts(self, make, recorder, name, default, given, on_wire):
        """None is always passed on, so a client without a default waits without limit rather than
        getting the HTTP client's own default; only head has a default of its own."""
        kwargs = {} if given == "absent" else {"timeout": given}
        OPERATIONS[name][0](make(timeout=default), None, **kwargs)
        expected = 10 if name == "head" and given == "absent" else on_wire
        assert recorder.last.timeout == wire_timeout(expected)


class CountingReader:
    def __init__(self, data):
        self.data, self.reads = data, []

    def read(self, *args):
        self.reads.append(args)
        return self.data


class TestUploadBodies:
    @pytest.mark.parametrize("data, body", [
        ("é", b"\xc3\xa9"), (b"\x00\xff", b"\x00\xff"), (io.StringIO("é"), b"\xc3\xa9"),
        (io.BytesIO(b"bin\x80"), b"bin\x80")])
    def test_upload_sends_text_as_utf8(self, make, recorder, data, body):
        make().upload("k", data)
        assert recorder.last.body == body

    @pytest.mark.parametrize("op", ["upload", "upload_part"])
    @pytest.mark.parametrize("content", [b"whole", "é"])
    def test_file_like_data_is_read_once_whole(self, make, primitive, op, content):
        reader = CountingReader(content)
        client = make()
        client.upload("k", reader) if op == "upload" else client.upload_part("k", "u", 1, reader)
        assert reader.reads == [()]
        sent = dict(primitive[0].keywords)["data"]
        assert sent == (content.encode() if op == "upload" and isinstance(content, str) else content)

    def test_upload_part_passes_text_unencoded(self, make, primitive):
        make().upload_part("k", "u", 1, "é")
        data = dict(primitive[0].keywords)["data"]
        assert type(data) is str and data == "é"

    @pytest.mark.parametrize("op", ["upload", "upload_part"])
    def test_failing_read_sends_nothing(self, make, recorder, op):
        class Broken:
            def read(self):
                raise OSError("disk")

        client = make()
        with pytest.raises(OSError, match="disk"):
            client.upload("k", Broken()) if op == "upload" else client.upload_part("k", "u", 1, Broken())
        assert recorder.sent == []

    @pytest.mark.parametrize("kwargs, caller, entries", [
        ({"content_type": "", "content_md5": ""}, {}, []),
        ({}, {}, []),
        ({"content_type": "a/b"}, {"Content-Type": "old", "x": "1"}, [("Content-Type", "a/b"), ("x", "1")]),
        ({"content_type": "a/b"}, {"content-type": "old"}, [("content-type", "old"), ("Content-Type", "a/b")]),
        ({"content_md5": "m"}, {}, [("Content-MD5", "m")]),
    ])
    def test_upload_content_headers(self, make, primitive, kwargs, caller, entries):
        make().upload("k", b"", headers=caller, **kwargs)
        assert list(primitive[0].headers.items())[:-4] == entries

    @pytest.mark.parametrize("content_type, entries", [
        ("", []), ("application/octet-stream", [("Content-Type", "application/octet-stream")]),
        ("text/plain", [("Content-Type", "text/plain")])])
    def test_upload_part_content_type(self, make, primitive, content_type, entries):
        make().upload_part("k", "u", 1, b"x", content_type)
        assert list(primitive[0].headers.items())[:-4] == entries

    def test_initiate_without_content_type(self, make, recorder, primitive):
        make().initiate_multipart_upload("k")
        assert list(primitive[0].headers) == SIGNED
        assert dict(primitive[0].keywords)["query_params"] == {"uploads": ""}
        assert recorder.last.url == BASE + "k?uploads="


class TestFinishMultipartUpload:
    @pytest.mark.parametrize("etags, parts", [
        ([], ""),
        (['"a1"'], '<Part><PartNumber>1</PartNumber><ETag>"a1"</ETag></Part>'),
        (['"a1"', "b2"], '<Part><PartNumber>1</PartNumber><ETag>"a1"</ETag></Part>'
                         "<Part><PartNumber>2</PartNumber><ETag>b2</ETag></Part>"),
        (["x&y<z>"], "<Part><PartNumber>1</PartNumber><ETag>x&amp;y&lt;z&gt;</ETag></Part>"),
    ])
    def test_completion_body(self, make, recorder, primitive, etags, parts):
        make().finish_multipart_upload("k", "u", etags)
        body = "<CompleteMultipartUpload>" + parts + "</CompleteMultipartUpload>"
        assert dict(primitive[0].keywords)["data"] == body
        assert recorder.last.body == body.encode()
        assert [e.text for e in ET.fromstring(body).iter("ETag")] == etags

    def test_new_object_has_no_effect(self, make, recorder):
        client = make()
        client.finish_multipart_upload("k", "u", ['"e"'])
        client.finish_multipart_upload("k", "u", ['"e"'], "other-key")
        first, second = recorder.sent
        assert (first.url, first.headers, first.body) == (second.url, second.headers, second.body)

    def test_content_type_replaces_the_entry_of_that_exact_name(self, make, primitive):
        caller = {"Content-Type": "text/plain", "content-type": "x", "a": "1"}
        make().finish_multipart_upload("k", "u", [], headers=caller)
        assert list(primitive[0].headers.items())[:3] == \
            [("Content-Type", "application/xml"), ("content-type", "x"), ("a", "1")]


class TestCopyObject:
    @pytest.mark.parametrize("src_key, src_bucket, source", [
        ("dir/a b+é~.txt", "", "/bkt/dir/a%20b%2B%C3%A9~.txt"),
        ("k?x#y", "other", "/other/k%3Fx%23y"),
        ("/lead//x", "", "/bkt//lead//x"),
    ])
    def test_copy_source(self, make, recorder, src_key, src_bucket, source):
        assert make().copy_object(src_key, "dest key", src_bucket) is True
        assert recorder.last_call.headers_snapshot["x-amz-copy-source"] == source
        assert (recorder.last.method, recorder.last.url) == ("PUT", BASE + "dest%20key")

    @pytest.mark.parametrize("text", [
        f'<CopyObjectResult xmlns="{S3_NS}"><ETag>"e"</ETag></CopyObjectResult>',
        f' \r\n\n<?xml version="1.0" encoding="UTF-8"?>\n<CopyObjectResult xmlns="{S3_NS}"/>',
        '<c:CopyObjectResult xmlns:c="urn:other"/>',
    ])
    def test_success(self, make, recorder, text):
        recorder.respond(httpx.Response(200, text=text))
        assert make().copy_object("s", "d") is True

    @pytest.mark.parametrize("status, text", [
        (200, "<Error><Code>InternalError</Code><Message>retry</Message></Error>"),
        (200, f'<?xml version="1.0"?>\n<Error xmlns="{S3_NS}"><Code>SlowDown</Code></Error>'),
        (200, f'\n \n <?xml version="1.0" encoding="UTF-8"?>\n<Error xmlns="{S3_NS}"><Code>InternalError</Code></Error>'),
        (200, ""),
        (200, " \r\n  "),
        (200, "done, not xml <"),
        (200, "<Result><Error>nested</Error></Result>"),
        (200, "  <CopyObjectResult><ETag>cut short"),
        (404, "NoSuchKey"),
        (204, ""),
        (500, "<Error><Code>InternalError</Code></Error>"),
    ])
    def test_failure(self, make, recorder, status, text):
        recorder.respond(httpx.Response(status, text=text))
        with pytest.raises(Exception) as excinfo:
            make().copy_object("s", "d")
        assert error_text(excinfo) == (Exception, f"复制对象失败: {status} {text}")


def page(inner, ns=None, root="ListBucketResult"):
    xmlns = f' xmlns="{ns}"' if ns else ""
    return f'<?xml version="1.0" encoding="UTF-8"?>\n<{root}{xmlns}>{inner}</{root}>'


FULL_PAGE = (
    "<Name>bkt</Name><Prefix>d/</Prefix><KeyCount>2</KeyCount><MaxKeys>20</MaxKeys>"
    "<IsTruncated>true</IsTruncated><NextContinuationToken>tok/2</NextContinuationToken>"
    "<Contents><Key>d/a.txt</Key><LastModified>2024-01-02T03:04:05.000Z</LastModified>"
    "<ETag>&quot;9b2cf535f27731c974343645a3985328&quot;</ETag><Size>1024</Size>"
    "<StorageClass>STANDARD</StorageClass></Contents>\n"
    '<Contents><Key>d/é &amp; b</Key><LastModified>2024-05-06T07:08:09.000Z</LastModified><ETag>"abc-2"</ETag>'
    "<Size>0</Size></Contents>")
FULL_LISTING = {
    "objects": [
        {"key": "d/a.txt", "size": 1024, "last_modified": "2024-01-02T03:04:05.000Z",
         "etag": "9b2cf535f27731c974343645a3985328"},
        {"key": "d/é & b", "size": 0, "last_modified": "2024-05-06T07:08:09.000Z", "etag": "abc-2"}],
    "is_truncated": True, "next_marker": "tok/2"}


class TestList:
    @pytest.mark.parametrize("kwargs, query", [
        ({}, [("list-type", "2"), ("prefix", ""), ("max-keys", "20")]),
        ({"marker": ""}, [("list-type", "2"), ("prefix", ""), ("max-keys", "20")]),
        ({"prefix": "p", "marker": "tok", "limit": 1000},
         [("list-type", "2"), ("prefix", "p"), ("max-keys", "1000"), ("continuation-token", "tok")]),
        ({"limit": 0}, [("list-type", "2"), ("prefix", ""), ("max-keys", "0")]),
        ({"limit": -5}, [("list-type", "2"), ("prefix", ""), ("max-keys", "-5")]),
    ])
    def test_query(self, make, recorder, primitive, kwargs, query):
        make().list(**kwargs)
        assert list(dict(primitive[0].keywords)["query_params"].items()) == query
        assert recorder.last.url == BASE + "?" + "&".join(f"{k}={v}" for k, v in query)

    @pytest.mark.parametrize("ns", [S3_NS, None, "urn:other"])
    def test_records_with_and_without_namespace(self, make, recorder, ns):
        recorder.respond(httpx.Response(200, text=page(FULL_PAGE, ns)))
        listing = make().list()
        assert listing == FULL_LISTING
        assert list(listing) == ["objects", "is_truncated", "next_marker"]
        assert all(list(e) == ["key", "size", "last_modified", "etag"] for e in listing["objects"])

    @pytest.mark.parametrize("ns", [S3_NS, None])
    @pytest.mark.parametrize("contents, entry", [
        ("<Key/><Size> 1024 </Size>", {"key": None, "size": 1024, "last_modified": "", "etag": ""}),
        ("", {"key": "", "size": 0, "last_modified": "", "etag": ""}),
        ("<Key>k</Key><LastModified/><ETag/><Size>+7</Size>", {"key": "k", "size": 7, "last_modified": None, "etag": ""}),
        ('<ETag>""</ETag><Size>-3</Size>', {"key": "", "size": -3, "last_modified": "", "etag": ""}),
        ('<ETag>W/"x"y"</ETag>', {"key": "", "size": 0, "last_modified": "", "etag": 'W/"x"y'}),
        ("<Key>a<!-- c -->b</Key>", {"key": "ab", "size": 0, "last_modified": "", "etag": ""}),
    ])
    def test_entry_fields(self, make, recorder, ns, contents, entry):
        recorder.respond(httpx.Response(200, text=page(f"<Contents>{contents}</Contents>", ns)))
        assert make().list()["objects"] == [entry]

    @pytest.mark.parametrize("ns", [S3_NS, None])
    @pytest.mark.parametrize("inner, tail", [
        ("<IsTruncated>True</IsTruncated><NextContinuationToken>t</NextContinuationToken>", {"is_truncated": False}),
        ("<IsTruncated>1</IsTruncated><NextContinuationToken>t</NextContinuationToken>", {"is_truncated": False}),
        ("<IsTruncated> true</IsTruncated>", {"is_truncated": False}),
        ("<IsTruncated/>", {"is_truncated": False}),
        ("<IsTruncated>true</IsTruncated>", {"is_truncated": True, "next_marker": ""}),
        ("<IsTruncated>true</IsTruncated><NextContinuationToken/>", {"is_truncated": True, "next_marker": None}),
        ("<Wrap><IsTruncated>true</IsTruncated></Wrap>", {"is_truncated": False}),
        ("<IsTruncated>true</IsTruncated><Wrap><NextContinuationToken>t</NextContinuationToken></Wrap>",
         {"is_truncated": True, "next_marker": ""}),
    ])
    def test_truncation(self, make, recorder, ns, inner, tail):
        recorder.respond(httpx.Response(200, text=page(inner, ns)))
        assert make().list() == {"objects": [], **tail}

    @pytest.mark.parametrize("ns", [S3_NS, None])
    def test_contents_found_at_any_depth_in_document_order(self, make, recorder, ns):
        inner = ("<Contents><Key>1</Key></Contents><A><B><Contents><Key>2</Key></Contents></B></A>"
                 "<Contents><Key>3</Key><Contents><Key>4</Key></Contents></Contents>")
        recorder.respond(httpx.Response(200, text=page(inner, ns)))
        assert [e["key"] for e in make().list()["objects"]] == ["1", "2", "3", "4"]

    @pytest.mark.parametrize("ns, inner", [
        (S3_NS, '<o:Contents xmlns:o="urn:o"><o:Key>x</o:Key></o:Contents><Contents xmlns=""><Key>y</Key></Contents>'
                '<o:IsTruncated xmlns:o="urn:o">true</o:IsTruncated>'
                '<Contents><o:Key xmlns:o="urn:o">x</o:Key><Size>5</Size></Contents>'),
        (None, '<o:Contents xmlns:o="urn:o"><o:Key>x</o:Key></o:Contents><Contents><Key xmlns="urn:o">x</Key>'
               '<Size>5</Size></Contents><IsTruncated xmlns="urn:o">true</IsTruncated>'),
    ])
    def test_elements_of_another_namespace_are_ignored(self, make, recorder, ns, inner):
        recorder.respond(httpx.Response(200, text=page(inner, ns)))
        assert make().list() == {"objects": [{"key": "", "size": 5, "last_modified": "", "etag": ""}],
                                 "is_truncated": False}

    def test_error_answer_gives_an_empty_listing(self, make, recorder):
        error = page("<Code>AccessDenied</Code><Message>Access Denied</Message>", None, "Error")
        recorder.respond(httpx.Response(403, text=error))
        assert make().list() == {"objects": [], "is_truncated": False}

    @pytest.mark.parametrize("body, error", [
        ("", ET.ParseError), ("<html><body>Bad Gateway<br></body></html>", ET.ParseError),
        ("Service Unavailable", ET.ParseError),
        ("\n" + page("<Contents><Key>k</Key></Contents>"), ET.ParseError),  # a declaration not at the start
        ('<!DOCTYPE ListBucketResult [<!ELEMENT x>]>' + page("").split("?>", 1)[1], ET.ParseError),
        (page("<Contents><Size>abc</Size></Contents>"), ValueError),
        (page("<Contents><Size/></Contents>"), TypeError),
    ])
    def test_unreadable_answers_raise(self, make, recorder, body, error):
        recorder.respond(httpx.Response(200, text=body))
        with pytest.raises(error):
            make().list()


OBJECT = bytes(range(65, 90))  # 25 bytes


def ranged(data, head=None, parts=None):
    """Answers HEAD with the size and each ranged GET with its slice of `data`; `parts` replaces
    the answer of a part by its index counted from 0."""
    served = []

    def answer(request):
        if request.method == "HEAD":
            return head if head is not None else httpx.Response(200, headers={"Content-Length": str(len(data))})
        override = (parts or {}).get(len(served))
        served.append(request.headers["range"])
        if override is not None:
            return override(request) if callable(override) else override
        start, end = map(int, re.fullmatch(r"bytes=(\d+)-(\d+)", request.headers["range"]).groups())
        return httpx.Response(206, content=data[start:end + 1])

    return answer


def refuse(request):
    raise httpx.ConnectError("refused", request=request)


def stop(*progress):
    raise RuntimeError("stop")


FAILURES = [
    pytest.param(dict(head=httpx.Response(404, text="NoSuchKey")), None, Exception,
                 "获取文件信息失败: 404 NoSuchKey", 1, id="head-404"),
    pytest.param(dict(head=httpx.Response(206, headers={"Content-Length": "25"})), None, Exception,
                 "获取文件信息失败: 206 ", 1, id="head-206"),
    pytest.param(dict(head=httpx.Response(200)), None, Exception, "文件大小为 0", 1, id="no-length"),
    pytest.param(dict(head=httpx.Response(200, headers={"Content-Length": "0"})), None, Exception, "文件大小为 0", 1,
                 id="length-0"),
    pytest.param(dict(parts={1: httpx.Response(403, text="AccessDenied")}), None, Exception,
                 "下载分片 2 失败: 403 AccessDenied", 3, id="part-403"),
    pytest.param(dict(parts={0: httpx.Response(200, content=OBJECT)}), None, Exception,
                 "下载分片 1 失败: 200 得到整个对象, 请求的是 bytes=0-9", 2, id="range-ignored"),
    pytest.param(dict(parts={2: httpx.Response(206, content=b"XYZ")}), None, Exception,
                 "下载分片 3 失败: 206 应收到 5 字节, 实际收到 3 字节", 4, id="short-part"),
    pytest.param(dict(parts={1: httpx.Response(206, content=OBJECT[10:20],
                                               headers={"Content-Range": "bytes 10-19/26"})}), None, Exception, "下载分片 2 失败: 206 Content-Range 为 bytes 10-19/26, 应为 bytes 10-19/25", 3,
                 id="other-total"),
    pytest.param(dict(head=httpx.Response(200, headers={"Content-Length": "25", "ETag": '"v1"'}),
                      parts={2: httpx.Response(206, content=OBJECT[20:], headers={"ETag": '"v2"'})}),
                 None, Exception, '下载分片 3 失败: 206 ETag 为 "v2", 应为 "v1" (对象已改变)', 4, id="other-etag"),
    pytest.param(dict(parts={1: refuse}), None, httpx.ConnectError, "refused", 3, id="transport"),
    pytest.param({}, stop, RuntimeError, "stop", 2, id="callback"),
]


class TestMultipartDownload:
    @pytest.mark.parametrize("data, part_size, ranges, progress", [
        (OBJECT, 10, ["bytes=0-9", "bytes=10-19", "bytes=20-24"], [(0, 3, 10, 25), (1, 3, 20, 25), (2, 3, 25, 25)]),
        (bytes(range(256)) * 32768, None, ["bytes=0-8388607"], [(0, 1, 8388608, 8388608)]),
        (bytes(range(256)) * 32768 + b"!", None, ["bytes=0-8388607", "bytes=8388608-8388608"],
         [(0, 2, 8388608, 8388609), (1, 2, 8388609, 8388609)]),
        (b"x", 10, ["bytes=0-0"], [(0, 1, 1, 1)]),
        (OBJECT, 25, ["bytes=0-24"], [(0, 1, 25, 25)]),
    ])
    def test_parts_progress_and_content(self, make, recorder, primitive, tmp_path, data, part_size, ranges,
                                        progress):
        recorder.default = ranged(data)
        target, calls = tmp_path / "out.bin", []
        extra = {} if part_size is None else {"part_size": part_size}
        assert make().multipart_download("k", str(target), callback=lambda *a: calls.append(a), **extra) is True
        assert [s.header("range") for s in recorder.sent] == [None, *ranges]
        assert [(s.method, s.url) for s in recorder.sent] == [("HEAD", BASE + "k")] + [("GET", BASE + "k")] * len(ranges)
        assert calls == progress
        assert target.read_bytes() == data
        assert os.listdir(tmp_path) == ["out.bin"]
        parts = [p for p in primitive if p.args == ("GET", "k")]
        assert [p.headers_before for p in parts] == [{"Range": r, "Accept-Encoding": "identity"} for r in ranges]
        assert len({id(p.headers) for p in parts}) == len(parts)
        assert [s.header("accept-encoding") for s in recorder.sent] == ["identity"] * (1 + len(ranges))

    def test_a_replaced_request_that_builds_its_answers_whole(self, tmp_path):
        """Answers built with content=... are read already and can't be streamed: their content
        is taken, and still held to the part's length."""
        class Canned(DravikClient):
            def _request(self, method, key, **kwargs):
                first, last = map(int, kwargs["headers"]["Range"][6:].split("-"))
                return httpx.Response(206, content=OBJECT[first:last + 1] + self.extra)

            def head(self, key, headers=None, timeout=None):
                return httpx.Response(200, headers={"Content-Length": str(len(OBJECT))})

        client = Canned("AK", "SK", "bkt", http_client=object())
        client.extra = b""
        assert client.multipart_download("k", str(tmp_path / "out.bin"), 10) is True
        assert (tmp_path / "out.bin").read_bytes() == OBJECT
        client.extra = b"!"
        with pytest.raises(Exception, match="应收到 10 字节, 实际收到 11 字节"):
            client.multipart_download("k", str(tmp_path / "out.bin"), 10)

    def test_without_callback(self, make, recorder, tmp_path):
        recorder.default = ranged(OBJECT)
        assert make().multipart_download("k", str(tmp_path / "f"), 7) is True
        assert (tmp_path / "f").read_bytes() == OBJECT

    @pytest.mark.parametrize("default, given, expected", [(30, None, 30), (None, None, None), (30, 5, 5)])
    def test_head_and_parts_use_the_callers_timeout(self, make, recorder, primitive, tmp_path, default, given,
                                                    expected):
        recorder.default = ranged(OBJECT)
        make(timeout=default).multipart_download("k", str(tmp_path / "f"), 10, None, given)
        # a replaced `_request` is called with the keywords its callers document, and no others
        assert [(p.args, [k for k, _ in p.keywords], dict(p.keywords)["timeout"]) for p in primitive] == \
            [(("HEAD", "k"), ["headers", "timeout"], given)] + [(("GET", "k"), ["headers", "timeout"], given)] * 3
        assert primitive[0].headers_before == {"Accept-Encoding": "identity"}
        assert [s.timeout for s in recorder.sent] == [wire_timeout(expected)] * 4

    @pytest.mark.parametrize("part_size", [0, -1])
    def test_part_size_below_one_touches_nothing(self, make, recorder, tmp_path, part_size):
        with pytest.raises(ValueError):
            make().multipart_download("k", str(tmp_path / "a" / "b" / "out.bin"), part_size)
        assert recorder.sent == [] and os.listdir(tmp_path) == []

    def test_directories_are_created(self, make, recorder, tmp_path, monkeypatch):
        recorder.default = ranged(OBJECT)
        client = make()
        for _ in range(2):  # the second time the directories exist
            assert client.multipart_download("k", str(tmp_path / "a" / "b" / "out.bin"), 10) is True
        assert (tmp_path / "a" / "b" / "out.bin").read_bytes() == OBJECT
        monkeypatch.chdir(tmp_path / "a")
        assert client.multipart_download("k", "plain.bin", 10) is True
        assert sorted(os.listdir(".")) == ["b", "plain.bin"]

    def test_parts_go_to_a_temporary_file_beside_the_target(self, make, recorder, tmp_path):
        recorder.default = ranged(OBJECT)
        (tmp_path / "out.bin").write_bytes(b"old")
        seen = []

        def watch(*progress):
            names = sorted(os.listdir(tmp_path))
            seen.append(((tmp_path / "out.bin").read_bytes(), [n for n in names if n != "out.bin"]))

        make().multipart_download("k", str(tmp_path / "out.bin"), 10, watch)
        assert [old for old, _ in seen] == [b"old"] * 3
        (names,) = {tuple(names) for _, names in seen}  # one file, the same for every part
        (temp,) = names
        assert re.fullmatch(r"\.out\.bin\.[0-9a-f]{16}\.part", temp)
        assert os.listdir(tmp_path) == ["out.bin"] and (tmp_path / "out.bin").read_bytes() == OBJECT

    @pytest.mark.parametrize("script, callback, error, message, requests", FAILURES)
    def test_failure_messages(self, make, recorder, tmp_path, script, callback, error, message, requests):
        recorder.default = ranged(OBJECT, **script)
        with pytest.raises(error) as excinfo:
            make().multipart_download("k", str(tmp_path / "out.bin"), 10, callback)
        assert error_text(excinfo) == (error, message)
        assert len(recorder.sent) == requests

    @pytest.mark.parametrize("script, callback, error, message, requests", FAILURES)
    def test_failures_leave_the_target_untouched(self, make, recorder, tmp_path, script, callback, error, message,
                                                 requests):
        recorder.default = ranged(OBJECT, **script)
        (tmp_path / "out.bin").write_bytes(b"old")
        with pytest.raises(Exception):
            make().multipart_download("k", str(tmp_path / "out.bin"), 10, callback)
        assert os.listdir(tmp_path) == ["out.bin"] and (tmp_path / "out.bin").read_bytes() == b"old"

    def test_target_that_is_a_directory(self, make, recorder, tmp_path):
        recorder.default = ranged(OBJECT)
        (tmp_path / "out.bin").mkdir()
        with pytest.raises(IsADirectoryError):
            make().multipart_download("k", str(tmp_path / "out.bin"), 10)
        assert [s.method for s in recorder.sent] == ["HEAD"]
        assert os.listdir(tmp_path) == ["out.bin"] and os.listdir(tmp_path / "out.bin") == []
