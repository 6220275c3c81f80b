"""Batch delete, delete by prefix, bucket statistics and bucket management, as they reach the
HTTP client and the wire, against scripted answers."""

import base64
import email.utils
import hashlib
import time
import xml.etree.ElementTree as ET
from xml.sax.saxutils import escape

import httpx
import pytest

import reference
from corvault.dravik import DravikClient

ENDPOINT = "http://127.0.0.1:9000"
S3_NS = "http://s3.amazonaws.com/doc/2006-03-01/"
NOV_14_2023 = 1700000000
HTTPX_DEFAULT_TIMEOUT = {"connect": 5.0, "read": 5.0, "write": 5.0, "pool": 5.0}
V4_ORDER = ["Host", "x-amz-date", "x-amz-content-sha256", "Authorization"]


@pytest.fixture
def make(recorder, frozen_time):
    frozen_time(NOV_14_2023)

    def factory(**kwargs):
        kwargs.setdefault("endpoint", ENDPOINT)
        return DravikClient("AK", "SK", kwargs.pop("bucket", "bkt"), http_client=recorder.client, **kwargs)

    return factory


def xml_answer(root, inner, ns=True):
    declaration = f' xmlns="{S3_NS}"' if ns else ""
    return httpx.Response(200, text=f"<{root}{declaration}>{inner}</{root}>")


def sent_keys(body):
    """The keys of a DeleteObjects body, read back with ElementTree; checks its shape on the way."""
    root = ET.fromstring(body)
    assert root.tag == "Delete" and root.attrib == {}
    assert [(c.tag, c.text) for c in root[:1]] == [("Quiet", "false")]
    assert all(o.tag == "Object" and [k.tag for k in o] == ["Key"] for o in root[1:])
    return [o[0].text or "" for o in root[1:]]


def esc(text):
    return escape(text, {"\r": "&#13;"})


def echo_deleted(request):
    inner = "".join(f"<Deleted><Key>{esc(k)}</Key></Deleted>" for k in sent_keys(request.read()))
    return xml_answer("DeleteResult", inner)


class FakeBucket:
    """Answers ListObjectsV2 (GET) and DeleteObjects (POST) for a set of keys. `locked` keys are
    reported as errors and stay; with `sticky` the deleted keys are reported but stay too."""

    def __init__(self, objects, page_cap=1000, locked=(), sticky=False):
        self.objects = dict(objects)
        self.page_cap, self.locked, self.sticky = page_cap, set(locked), sticky

    def __call__(self, request):
        return self.listing(request) if request.method == "GET" else self.delete(request)

    def listing(self, request):
        query = request.url.params
        matches = sorted(k for k in self.objects if k.startswith(query["prefix"]))
        start = int(query.get("continuation-token", "0"))
        stop = start + min(int(query["max-keys"]), self.page_cap)
        inner = "".join(f"<Contents><Key>{esc(k)}</Key><Size>{self.objects[k]}</Size></Contents>"
                        for k in matches[start:stop])
        truncated = stop < len(matches)
        inner += f"<IsTruncated>{'true' if truncated else 'false'}</IsTruncated>"
        if truncated:
            inner += f"<NextContinuationToken>{stop}</NextContinuationToken>"
        return xml_answer("ListBucketResult", inner)

    def delete(self, request):
        inner = ""
        for key in sent_keys(request.read()):
            if key in self.locked:
                inner += f"<Error><Key>{esc(key)}</Key><Code>AccessDenied</Code><Message>no</Message></Error>"
            else:
                inner += f"<Deleted><Key>{esc(key)}</Key></Deleted>"
                if not self.sticky:
                    self.objects.pop(key, None)
        return xml_answer("DeleteResult", inner)


def body_of(*escaped_keys):
    objects = "".join(f"<Object><Key>{k}</Key></Object>" for k in escaped_keys)
    return f"<Delete><Quiet>false</Quiet>{objects}</Delete>".encode("utf-8")


class TestDeleteObjectsRequests:
    def test_no_keys_no_request(self, make, recorder):
        assert make().delete_objects([]) == {"deleted": [], "errors": []}
        assert recorder.sent == []

    @pytest.mark.parametrize("count, batches", [(1, [1]), (1000, [1000]), (1001, [1000, 1]),
                                                (2500, [1000, 1000, 500])])
    def test_batches_of_at_most_1000(self, make, recorder, count, batches):
        recorder.default = echo_deleted
        keys = [f"k{i:04d}" for i in range(count)]
        result = make().delete_objects(keys)
        assert [len(sent_keys(s.body)) for s in recorder.sent] == batches
        assert sum((sent_keys(s.body) for s in recorder.sent), []) == keys
        assert result == {"deleted": keys, "errors": []} and list(result) == ["deleted", "errors"]

    def test_request_form(self, make, recorder):
        recorder.default = echo_deleted
        make().delete_objects(["x/y", "a b"])
        call, sent = recorder.last_call, recorder.last
        assert (call.method, call.url, sent.url) == ("POST", ENDPOINT + "/bkt/?delete=", ENDPOINT + "/bkt/?delete=")
        assert call.keyword_names == ["headers", "content"]  # no time-out set anywhere
        assert list(call.headers_snapshot) == ["Content-Type", "Content-MD5"] + V4_ORDER
        assert call.headers_snapshot["Content-Type"] == "application/xml"
        assert sent.body == body_of("x/y", "a b")
        md5 = base64.b64encode(hashlib.md5(sent.body).digest()).decode("ascii")
        assert sent.header("Content-MD5") == call.headers_snapshot["Content-MD5"] == md5 and len(md5) == 24
        assert sent.header("Host") == "127.0.0.1:9000"

    @pytest.mark.parametrize("key, escaped", [
        ("a b", "a b"), ("x/y", "x/y"), ("a&b", "a&amp;b"), ("<x>", "&lt;x&gt;"), ("é", "é"),
        ("a\rb", "a&#13;b"), ("100%", "100%"), ("a+b=c?d#e", "a+b=c?d#e"),
    ])
    def test_keys_are_xml_escaped_not_percent_encoded(self, make, recorder, key, escaped):
        recorder.default = echo_deleted
        assert make().delete_objects([key])["deleted"] == [key]
        body = recorder.last.body
        assert body == body_of(escaped)
        assert recorder.last.header("Content-MD5") == base64.b64encode(hashlib.md5(body).digest()).decode()

    def test_awkward_keys_round_trip_through_an_xml_parser(self, make, recorder):
        keys = ["a\r\nb", "\ttab", 'q"uo\'te', "]]>", "&amp;", "日本語/🙂", " lead and trail ", "x\ny"]
        recorder.default = echo_deleted
        assert make().delete_objects(keys)["deleted"] == keys
        assert sent_keys(recorder.last.body) == keys

    @pytest.mark.parametrize("bad, position", [(1, 1), (None, 1), (b"bytes", 1), (7, 1500)])
    def test_non_text_key_is_refused_before_sending(self, make, recorder, bad, position):
        recorder.default = echo_deleted
        keys = ["ok"] * position + [bad]
        with pytest.raises(TypeError, match=f"^keys must be str, not {type(bad).__name__}$"):
            make().delete_objects(keys)
        assert recorder.sent == []

    @pytest.mark.parametrize("default, given, keyword", [(30, None, 30), (30, 5, 5), (None, 7, 7), (None, None, "absent")])
    def test_timeout(self, make, recorder, default, given, keyword):
        recorder.default = echo_deleted
        make(timeout=default).delete_objects(["k"] * 1001, timeout=given)
        assert [c.kw("timeout", "absent") for c in recorder.calls] == [keyword, keyword]
        if keyword == "absent":
            assert recorder.last.timeout == HTTPX_DEFAULT_TIMEOUT


class TestDeleteObjectsAnswers:
    @pytest.mark.parametrize("ns", [True, False])
    def test_deleted_and_errors(self, make, recorder, ns):
        recorder.respond(xml_answer("DeleteResult", (
            "<Deleted><Key>a</Key><VersionId>v</VersionId></Deleted>"
            "<Error><Key>b</Key><Code>AccessDenied</Code><Message>Access Denied</Message></Error>"
            "<Deleted><Key></Key></Deleted><Deleted><DeleteMarker>true</DeleteMarker></Deleted>"
            "<Deleted><Key>c&amp;d</Key></Deleted><Deleted><Key><![CDATA[<e>]]></Key></Deleted>"
            "<Error><Key>f</Key><Code>InternalError</Code></Error>"
            "<Error><Key/><Code></Code><Message/></Error><Error/>"
            "<Wrapper><Deleted><Key>deep</Key></Deleted><Error><Key>deep</Key></Error></Wrapper>"), ns=ns))
        result = make().delete_objects(["a", "b", "c&d", "<e>", "f"])
        assert result["deleted"] == ["a", "c&d", "<e>"]
        assert result["errors"] == [
            {"key": "b", "code": "AccessDenied", "message": "Access Denied"},
            {"key": "f", "code": "InternalError", "message": ""},
            {"key": None, "code": None, "message": None},
            {"key": "", "code": "", "message": ""},
        ]
        assert [list(e) for e in result["errors"]] == [["key", "code", "message"]] * 4

    @pytest.mark.parametrize("document", [
        # children outside the root's namespace are not the service's answer elements
        f'<DeleteResult xmlns="{S3_NS}"><Deleted xmlns=""><Key>x</Key></Deleted></DeleteResult>',
        '<DeleteResult><Deleted xmlns="urn:other"><Key>x</Key></Deleted></DeleteResult>',
        f'<DeleteResult xmlns="{S3_NS}"><Deleted><Key xmlns="urn:other">x</Key></Deleted></DeleteResult>',
        "<DeleteResult/>",
    ])
    def test_elements_of_other_namespaces_are_not_read(self, make, recorder, document):
        recorder.respond(httpx.Response(200, text=document))
        assert make().delete_objects(["x"]) == {"deleted": [], "errors": []}

    def test_prefixed_namespace(self, make, recorder):
        recorder.respond(httpx.Response(200, text=(
            f'<s3:DeleteResult xmlns:s3="{S3_NS}"><s3:Deleted><s3:Key>p</s3:Key></s3:Deleted>'
            "<s3:Error><s3:Key>q</s3:Key><s3:Code>C</s3:Code></s3:Error></s3:DeleteResult>")))
        assert make().delete_objects(["p", "q"]) == {"deleted": ["p"], "errors": [{"key": "q", "code": "C", "message": ""}]}

    @pytest.mark.parametrize("status, text", [(500, "<Error><Code>InternalError</Code></Error>"), (204, ""),
                                              (403, "denied\nsecond line"),
                                              (200, f'<Error xmlns="{S3_NS}"><Code>InternalError</Code></Error>')])
    def test_failed_second_batch_raises_and_stops(self, make, recorder, status, text):
        recorder.respond(echo_deleted, httpx.Response(status, text=text))
        recorder.default = echo_deleted
        with pytest.raises(Exception) as failure:
            make().delete_objects([f"k{i}" for i in range(2500)])
        assert type(failure.value) is Exception and str(failure.value) == f"批量删除失败: {status} {text}"
        assert len(recorder.sent) == 2

    @pytest.mark.parametrize("text", ["", "not xml", "<DeleteResult>", "<a/><b/>"])
    def test_malformed_answer_raises_parse_error(self, make, recorder, text):
        recorder.respond(httpx.Response(200, text=text))
        with pytest.raises(ET.ParseError):
            make().delete_objects(["k"])


def listings(recorder):
    return [c for c in recorder.calls if c.method == "GET"]


def deletes(recorder):
    return [s for s in recorder.sent if s.method == "POST"]


def outcome(call):
    """What a call returns, or the type and text of the exception it raises."""
    try:
        return call()
    except Exception as error:
        return type(error), str(error)


def unfinished(count):
    return Exception, f"按前缀删除未完成: 已删除 {count} 个对象, 其余对象未能删除"


class TestDeleteByPrefix:
    @pytest.mark.parametrize("locked, sticky, result, n_lists, batches, left", [
        ((), False, 2500, 3, [1000, 1000, 500], 0),             # clean: the third listing is not truncated
        ((), True, unfinished(1000), 2, [1000], 2500),          # reported deleted, yet listed again
        ([f"logs/{i:05d}" for i in range(1000, 2000)], False, unfinished(1000), 2, [1000, 1000], 1500),  # a pass deleting nothing
        ([f"logs/{i:05d}" for i in range(1000)], False, unfinished(0), 1, [1000], 2500),
    ])
    def test_passes(self, make, recorder, locked, sticky, result, n_lists, batches, left):
        bucket = FakeBucket({f"logs/{i:05d}": 1 for i in range(2500)} | {"other/x": 1}, locked=locked, sticky=sticky)
        recorder.default = bucket
        assert outcome(lambda: make().delete_by_prefix("logs/")) == result
        assert len(listings(recorder)) == n_lists
        assert len(bucket.objects) == left + 1 and "other/x" in bucket.objects
        for call in listings(recorder):
            assert call.url == ENDPOINT + "/bkt/?list-type=2&prefix=logs%2F&max-keys=1000"
        assert [len(sent_keys(s.body)) for s in deletes(recorder)] == batches

    def test_no_objects(self, make, recorder):
        recorder.default = FakeBucket({"other/x": 3})
        assert make().delete_by_prefix("logs/") == 0
        assert [c.method for c in recorder.calls] == ["GET"]

    def test_stops_after_an_untruncated_pass_even_with_failures(self, make, recorder):
        bucket = FakeBucket({k: 1 for k in "abcde"}, locked="bd")
        recorder.default = bucket
        assert make().delete_by_prefix("") == 3
        assert [c.method for c in recorder.calls] == ["GET", "POST"]
        assert sorted(bucket.objects) == ["b", "d"]

    def test_answers_without_deleted_count_nothing(self, make, recorder):
        recorder.respond(xml_answer("ListBucketResult", "<Contents><Key>a</Key></Contents><IsTruncated>true</IsTruncated>"),
                         xml_answer("DeleteResult", ""))
        assert outcome(lambda: make().delete_by_prefix("a")) == unfinished(0)
        assert len(recorder.sent) == 2

    @pytest.mark.parametrize("passes_before, status", [(0, 403), (1, 503)])
    def test_a_refused_listing_raises(self, make, recorder, passes_before, status):
        bucket = FakeBucket({f"k{i:04d}": 1 for i in range(1500)})
        text = f"<Error><Code>E{status}</Code></Error>"
        recorder.respond(*[bucket] * (2 * passes_before), httpx.Response(status, text=text))
        recorder.default = bucket
        assert outcome(lambda: make().delete_by_prefix("k")) == (Exception, f"列举对象失败: {status} {text}")
        assert len(deletes(recorder)) == passes_before and len(bucket.objects) == 1500 - 1000 * passes_before

    @pytest.mark.parametrize("listed, shown", [("<Key>other/a</Key>", "'other/a'"), ("<Key>Logs/b</Key>", "'Logs/b'"),
                                               ("<Key/>", "None")])
    def test_a_key_outside_the_prefix_is_never_deleted(self, make, recorder, listed, shown):
        recorder.respond(xml_answer("ListBucketResult", f"<Contents><Key>logs/a</Key></Contents><Contents>{listed}"
                                                        "</Contents><Contents><Key>logs/c</Key></Contents>"))
        assert outcome(lambda: make().delete_by_prefix("logs/")) == \
            (Exception, f"按前缀删除失败: 列出的键 {shown} 不以前缀 'logs/' 开头")
        assert [c.method for c in recorder.calls] == ["GET"]

    # A listing hands its none on (no time limit); a batch delete then leaves the keyword out.
    @pytest.mark.parametrize("default, given, on_list, on_delete", [
        (None, 3, 3, 3), (20, None, 20, 20), (None, None, None, "absent")])
    def test_timeout_reaches_every_request(self, make, recorder, default, given, on_list, on_delete):
        recorder.default = FakeBucket({f"p{i:04d}": 1 for i in range(1500)})
        assert make(timeout=default).delete_by_prefix("p", timeout=given) == 1500
        assert [(c.method, c.kw("timeout", "absent")) for c in recorder.calls] == \
            [("GET", on_list), ("POST", on_delete)] * 2


class TestBucketStats:
    def test_empty_bucket(self, make, recorder):
        recorder.default = FakeBucket({})
        result = make().get_bucket_stats()
        assert result == {"object_count": 0, "total_size": 0} and list(result) == ["object_count", "total_size"]

    def test_entries_without_size_count_zero(self, recorder):
        seen = []

        class Listed(DravikClient):
            def iter_objects(self, *args, **kwargs):
                seen.append((args, kwargs))
                return iter([{"key": "a", "size": 10}, {"key": "b", "size": 5}, {"key": "c"}])

        client = Listed("AK", "SK", "bkt", endpoint=ENDPOINT, http_client=recorder.client)
        assert client.get_bucket_stats() == {"object_count": 3, "total_size": 15}
        assert seen == [((), {})] and recorder.sent == []

    def test_pages_through_the_listing(self, make, recorder):
        sizes = {f"o{i}": i * 7 for i in range(7)}
        recorder.default = FakeBucket(sizes, page_cap=3)
        assert make().get_bucket_stats() == {"object_count": 7, "total_size": sum(sizes.values())}
        tokens = [httpx.URL(c.url).params.get("continuation-token") for c in recorder.calls]
        assert tokens == [None, "3", "6"]

    def test_a_refused_second_page_raises(self, make, recorder):
        bucket = FakeBucket({f"o{i}": 1 for i in range(7)}, page_cap=3)
        recorder.respond(bucket, httpx.Response(503, text="<Error><Code>SlowDown</Code></Error>"))
        recorder.default = bucket
        with pytest.raises(Exception) as failure:
            make().get_bucket_stats()
        assert str(failure.value) == "列举对象失败: 503 <Error><Code>SlowDown</Code></Error>"
        assert len(recorder.calls) == 2

    def test_a_listing_that_repeats_its_token_stops_with_an_error(self, make, recorder):
        page = "<IsTruncated>true</IsTruncated><NextContinuationToken>same</NextContinuationToken>" \
               "<Contents><Key>k</Key><Size>1</Size></Contents>"
        recorder.default = lambda request: xml_answer("ListBucketResult", page)
        with pytest.raises(Exception, match="listing does not advance"):
            make().get_bucket_stats()
        assert len(recorder.calls) == 2


class TestCreateBucket:
    @pytest.mark.parametrize("region, body", [
        ("us-east-1", None), ("", None),
        ("eu-west-1", "<CreateBucketConfiguration><LocationConstraint>eu-west-1</LocationConstraint></CreateBucketConfiguration>"),
        ("US-EAST-1", "<CreateBucketConfiguration><LocationConstraint>US-EAST-1</LocationConstraint></CreateBucketConfiguration>"),
        ("a&<b>", "<CreateBucketConfiguration><LocationConstraint>a&amp;&lt;b&gt;</LocationConstraint></CreateBucketConfiguration>"),
    ])
    @pytest.mark.parametrize("bucket_name, path", [("", "/bkt/"), ("fresh", "/fresh/")])
    def test_request(self, make, recorder, region, body, bucket_name, path):
        assert make(region=region).create_bucket(bucket_name) is True
        call, sent = recorder.last_call, recorder.last
        assert (call.method, call.url, sent.url) == ("PUT", ENDPOINT + path, ENDPOINT + path)
        assert call.keyword_names == ["headers", "content"]
        if body is None:
            assert call.kw("content") is None and sent.body == b""
            assert list(call.headers_snapshot) == V4_ORDER and sent.header("Content-Type") is None
        else:
            assert call.kw("content") == sent.body == body.encode()
            assert ET.fromstring(sent.body).find("LocationConstraint").text == region
            assert list(call.headers_snapshot) == ["Content-Type"] + V4_ORDER
            assert sent.header("Content-Type") == "application/xml"


class TestBucketStatus:
    @pytest.mark.parametrize("operation, method, label", [
        ("create_bucket", "PUT", "创建存储桶失败: "), ("delete_bucket", "DELETE", "删除存储桶失败: ")])
    @pytest.mark.parametrize("status, text", [(200, ""), (204, ""), (409, "<Error>\n <Code>BucketAlreadyExists</Code>\n</Error>"),
                                              (404, "gone"), (500, ""), (201, "created?")])
    def test_create_and_delete(self, make, recorder, operation, method, label, status, text):
        recorder.respond(httpx.Response(status, text=text))
        client = make()
        if status in (200, 204):
            assert getattr(client, operation)("b2") is True
        else:
            with pytest.raises(Exception) as failure:
                getattr(client, operation)("b2")
            assert type(failure.value) is Exception and str(failure.value) == f"{label}{status} {text}"
        assert (recorder.last.method, recorder.last.url) == (method, ENDPOINT + "/b2/")

    @pytest.mark.parametrize("status, exists", [(200, True), (204, False), (301, False), (403, False), (404, False), (500, False)])
    def test_bucket_exists(self, make, recorder, status, exists):
        recorder.respond(httpx.Response(status))
        assert make(addressing_style="virtual").bucket_exists() is exists
        assert (recorder.last.method, recorder.last.url) == ("HEAD", "http://bkt.127.0.0.1:9000/")
        assert recorder.last.header("Host") == "bkt.127.0.0.1:9000"

    @pytest.mark.parametrize("operation", ["bucket_exists", "delete_bucket", "create_bucket", "list_buckets"])
    def test_transport_errors_propagate(self, make, recorder, operation):
        def refuse(request):
            raise httpx.ConnectError("refused", request=request)

        recorder.respond(refuse)
        with pytest.raises(httpx.ConnectError):
            getattr(make(), operation)()

    @pytest.mark.parametrize("operation", ["bucket_exists", "delete_bucket", "create_bucket", "list_buckets"])
    @pytest.mark.parametrize("default", [None, 12.5])
    def test_timeout_is_the_clients_default_or_absent(self, make, recorder, operation, default):
        recorder.default = lambda request: httpx.Response(200, text="<ListAllMyBucketsResult/>")
        getattr(make(timeout=default), operation)()
        call = recorder.last_call
        if default is None:
            assert "timeout" not in call.keyword_names and recorder.last.timeout == HTTPX_DEFAULT_TIMEOUT
        else:
            assert call.keyword_names[-1] == "timeout" and call.kw("timeout") == default


AWS_BUCKETS = """<?xml version="1.0" encoding="UTF-8"?>
<ListAllMyBucketsResult{ns}>
  <Owner><ID>bcaf1ffd86f461ca5fb16fd081034f</ID><DisplayName>webfile</DisplayName></Owner>
  <Buckets>
    <Bucket><Name>quotes</Name><CreationDate>2006-02-03T16:45:09.000Z</CreationDate></Bucket>
    <Bucket><Name>samples</Name><CreationDate>2006-02-03T16:41:58.000Z</CreationDate></Bucket>
  </Buckets>
</ListAllMyBucketsResult>"""


class TestListBuckets:
    @pytest.mark.parametrize("endpoint, style, region, host", [
        (ENDPOINT, "path", "us-east-1", "127.0.0.1:9000"),
        (ENDPOINT, "virtual", "eu-west-3", "127.0.0.1:9000"),
        ("https://s3.eu-west-1.amazonaws.com", "virtual", "eu-west-1", "s3.eu-west-1.amazonaws.com"),
    ])
    def test_v4_request_to_the_service_root(self, make, recorder, endpoint, style, region, host):
        recorder.respond(httpx.Response(200, text=AWS_BUCKETS.format(ns="")))
        make(endpoint=endpoint, addressing_style=style, region=region).list_buckets()
        call, sent = recorder.last_call, recorder.last
        assert (call.method, call.url, sent.url) == ("GET", endpoint + "/", endpoint + "/")
        assert call.keyword_names == ["headers"]
        headers = call.headers_snapshot
        assert list(headers) == V4_ORDER
        amz_date = time.strftime("%Y%m%dT%H%M%SZ", time.gmtime(NOV_14_2023))
        assert (headers["Host"], headers["x-amz-date"], headers["x-amz-content-sha256"]) == (host, amz_date, "UNSIGNED-PAYLOAD")
        signed = {k: headers[k] for k in V4_ORDER[:3]}
        assert headers["Authorization"] == reference.sigv4_authorization(
            "AK", "SK", region, "GET", "https://" + host + "/", signed, {}, amz_date)
        assert sent.header("Date") is None and sent.header("Host") == host

    def test_v2_request(self, make, recorder):
        recorder.respond(httpx.Response(200, text=AWS_BUCKETS.format(ns="")))
        make(signature_version="Dravik", addressing_style="virtual").list_buckets()
        headers, sent = recorder.last_call.headers_snapshot, recorder.last
        assert list(headers) == ["Host", "Date", "Authorization"]
        assert headers["Date"] == email.utils.formatdate(NOV_14_2023, usegmt=True) == "Tue, 14 Nov 2023 22:13:20 GMT"
        assert headers["Authorization"].startswith("AWS AK:")
        assert headers["Authorization"] == reference.sigv2_authorization(
            "AK", "SK", "GET", ENDPOINT + "/", {"Date": headers["Date"]}, "/")
        assert not any(k.lower().startswith("x-amz-") for k, _ in sent.headers)

    @pytest.mark.parametrize("ns", ["", f' xmlns="{S3_NS}"'])
    def test_aws_sample(self, make, recorder, ns):
        recorder.respond(httpx.Response(200, text=AWS_BUCKETS.format(ns=ns)))
        result = make().list_buckets()
        assert result == [{"name": "quotes", "creation_date": "2006-02-03T16:45:09.000Z"},
                          {"name": "samples", "creation_date": "2006-02-03T16:41:58.000Z"}]
        assert [list(r) for r in result] == [["name", "creation_date"]] * 2

    @pytest.mark.parametrize("ns", [True, False])
    def test_missing_and_empty_children(self, make, recorder, ns):
        recorder.respond(xml_answer("ListAllMyBucketsResult", (
            "<Buckets><Bucket><CreationDate>d1</CreationDate></Bucket><Bucket><Name/><CreationDate></CreationDate></Bucket>"
            "<Bucket><Name>a&amp;b</Name></Bucket></Buckets><Other><Bucket><Name>deep</Name></Bucket></Other>"), ns=ns))
        assert make().list_buckets() == [{"name": "", "creation_date": "d1"}, {"name": None, "creation_date": None},
                                         {"name": "a&b", "creation_date": ""}, {"name": "deep", "creation_date": ""}]

    @pytest.mark.parametrize("document", [
        "<ListAllMyBucketsResult><Buckets/></ListAllMyBucketsResult>",
        f'<ListAllMyBucketsResult xmlns="{S3_NS}"><Buckets><Bucket xmlns=""><Name>x</Name></Bucket></Buckets></ListAllMyBucketsResult>',
    ])
    def test_no_buckets_found(self, make, recorder, document):
        recorder.respond(httpx.Response(200, text=document))
        assert make().list_buckets() == []

    @pytest.mark.parametrize("status, text", [(403, "<Error><Code>AccessDenied</Code></Error>"), (204, ""), (500, "x y")])
    def test_failure(self, make, recorder, status, text):
        recorder.respond(httpx.Response(status, text=text))
        with pytest.raises(Exception) as failure:
            make().list_buckets()
        assert type(failure.value) is Exception and str(failure.value) == f"列出存储桶失败: {status} {text}"

    @pytest.mark.parametrize("text", ["", "<ListAllMyBucketsResult>", "plain words"])
    def test_invalid_xml(self, make, recorder, text):
        recorder.respond(httpx.Response(200, text=text))
        with pytest.raises(ET.ParseError):
            make().list_buckets()
