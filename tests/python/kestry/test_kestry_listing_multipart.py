"""The listing (request and records) and the multipart upload steps on the wire."""

import xml.etree.ElementTree as ElementTree

import httpx
import pytest

from kestry_values import EP

# An answer as the service writes it (no namespace), and the same in a namespace.
PAGE = """<?xml version="1.0" encoding="UTF-8"?>
<ListBucketResult{ns}>
  <Name>bucket</Name><Prefix>photos/</Prefix><Marker></Marker><MaxKeys>2</MaxKeys>
  <IsTruncated>true</IsTruncated><NextMarker>photos/b.jpg</NextMarker>
  <Contents><Key>photos/a b.jpg</Key><LastModified>2024-01-02T03:04:05.000Z</LastModified>
    <ETag>"5B3C1A2E053D763E1B002CC607C5A0FE"</ETag><Size> +1024 </Size><StorageClass>Standard</StorageClass></Contents>
  <Wrapper><Contents><Key>photos/b.jpg</Key><ETag></ETag><Key>second</Key></Contents></Wrapper>
</ListBucketResult>"""

RECORDS = [
    {"key": "photos/a b.jpg", "size": 1024, "last_modified": "2024-01-02T03:04:05.000Z",
     "etag": "5B3C1A2E053D763E1B002CC607C5A0FE"},
    {"key": "photos/b.jpg", "size": 0, "last_modified": "", "etag": ""},
]


def answer(recorder, text, status=200):
    recorder.respond(httpx.Response(status, text=text))


class TestListing:
    def test_default_query(self, make, recorder):
        answer(recorder, "<ListBucketResult/>")
        make().list()
        assert recorder.last.url == EP + "/?prefix=&marker=&max-keys=20"
        assert recorder.last.method == "GET" and recorder.last.header("x-oss-date")

    def test_marker_between_prefix_and_max_keys(self, make, recorder):
        answer(recorder, "<ListBucketResult/>")
        headers = {"x-oss-meta-a": "1"}
        make().list("photos/", "photos/b.jpg", 1000, headers=headers)
        assert recorder.last.url == EP + "/?prefix=photos%2F&marker=photos%2Fb.jpg&max-keys=1000"
        assert headers == {"x-oss-meta-a": "1"}

    @pytest.mark.parametrize("ns", ["", ' xmlns="http://doc.oss-cn-hangzhou.aliyuncs.com"'])
    def test_records_with_and_without_namespace(self, make, recorder, ns):
        answer(recorder, PAGE.format(ns=ns))
        assert make().list("photos/") == {"objects": RECORDS, "is_truncated": True, "next_marker": "photos/b.jpg"}

    @pytest.mark.parametrize("tail, expected", [
        ("<IsTruncated>True</IsTruncated><NextMarker>m</NextMarker>", {"objects": [], "is_truncated": False}),
        ("<IsTruncated>true</IsTruncated>", {"objects": [], "is_truncated": True, "next_marker": ""}),
        ("<IsTruncated>true</IsTruncated><NextMarker/>", {"objects": [], "is_truncated": True, "next_marker": None}),
        ("<X><IsTruncated>true</IsTruncated></X>", {"objects": [], "is_truncated": False}),
        ("<Contents><Key/></Contents>", {"objects": [{"key": None, "size": 0, "last_modified": "", "etag": ""}],
                                         "is_truncated": False}),
    ])
    def test_truncation_and_empty_elements(self, make, recorder, tail, expected):
        answer(recorder, f"<ListBucketResult>{tail}</ListBucketResult>")
        assert make().list() == expected

    def test_an_error_answer_reads_as_an_empty_page(self, make, recorder):
        answer(recorder, "<Error><Code>AccessDenied</Code></Error>", status=403)
        assert make().list() == {"objects": [], "is_truncated": False}

    @pytest.mark.parametrize("body, error", [
        ("", ElementTree.ParseError), ("<a><b></a>", ElementTree.ParseError),
        ("<ListBucketResult><Contents><Size>1k</Size></Contents></ListBucketResult>", ValueError),
        ("<ListBucketResult><Contents><Size/></Contents></ListBucketResult>", TypeError),
    ])
    def test_unreadable_answers_raise(self, make, recorder, body, error):
        answer(recorder, body)
        with pytest.raises(error):
            make().list()


class TestMultipartSteps:
    def test_initiate(self, make, recorder):
        make().initiate_multipart_upload("big file")
        assert (recorder.last.method, recorder.last.url) == ("POST", EP + "/big%20file?uploads=")
        assert recorder.last.header("content-type") is None
        make().initiate_multipart_upload("k", "video/mp4")
        assert recorder.last.header("content-type") == "video/mp4"

    @pytest.mark.parametrize("content_type, sent", [("application/octet-stream", "application/octet-stream"),
                                                    ("", None)])
    def test_upload_part(self, make, recorder, content_type, sent):
        headers = {"Content-Type": "old"} if content_type else {}
        make().upload_part("k", "up/id", 3.9, "pärt", content_type, headers=headers or None)
        assert recorder.last.url == EP + "/k?partNumber=3&uploadId=up%2Fid"
        assert recorder.last.body == "pärt".encode() and recorder.last.header("content-type") == sent
        assert headers == ({"Content-Type": "old"} if content_type else {})

    @pytest.mark.parametrize("etags, parts", [
        ([], ""),
        (['"a1"', "b&<2>"], '<Part><PartNumber>1</PartNumber><ETag>"a1"</ETag></Part>'
                            "<Part><PartNumber>2</PartNumber><ETag>b&amp;&lt;2&gt;</ETag></Part>"),
        ([7], "<Part><PartNumber>1</PartNumber><ETag>7</ETag></Part>"),
    ])
    def test_finish(self, make, recorder, etags, parts):
        headers = {"content-type": "x", "Content-Type": "y"}
        make().finish_multipart_upload("k", "u", etags, new_object="other", headers=headers)
        sent = recorder.last
        assert (sent.method, sent.url) == ("POST", EP + "/k?uploadId=u")
        assert sent.body == f"<CompleteMultipartUpload>{parts}</CompleteMultipartUpload>".encode()
        assert [v for k, v in sent.headers if k.lower() == "content-type"] == ["x", "application/xml"]
        assert headers == {"content-type": "x", "Content-Type": "y"}

    def test_new_object_has_no_effect(self, make, recorder):
        make().finish_multipart_upload("k", "u", ["e"])
        make().finish_multipart_upload("k", "u", ["e"], "elsewhere")
        first, second = recorder.sent
        assert (first.url, first.headers, first.body) == (second.url, second.headers, second.body)

    def test_abort_leaves_the_callers_mapping_alone(self, make, recorder):
        headers = {"x-oss-meta-a": "1"}
        make().abort_multipart_upload("k", "u", headers=headers)
        assert headers == {"x-oss-meta-a": "1"}
        assert (recorder.last.method, recorder.last.url, recorder.last.body) == ("DELETE", EP + "/k?uploadId=u", b"")
