"""Walks over every listing page (iter_objects) with each client, against scripted answers: a
page the service refuses, or one truncated without a marker, never reads as the end."""

import httpx
import pytest

from corvault.base import RefusedPage
from corvault.dravik import DravikClient
from corvault.kestry import KestryOSSClient
from corvault.marvex import MarvexKodoClient
from corvault.pelora import PeloraFileClient
from corvault.zorbeck import ZorbeckClient


def xml_page(inner):
    return httpx.Response(200, text=f"<ListBucketResult>{inner}</ListBucketResult>")


S3_FIRST = xml_page("<Contents><Key>a</Key><Size>1</Size></Contents><IsTruncated>true</IsTruncated>"
                    "<NextContinuationToken>t</NextContinuationToken>")
OSS_FIRST = xml_page("<Contents><Key>a</Key><Size>1</Size></Contents><IsTruncated>true</IsTruncated>"
                     "<NextMarker>a</NextMarker>")

# client factory, first page (one object "a", continued), refused second page
CLIENTS = {
    "dravik": (lambda http: DravikClient("AK", "SK", "bkt", endpoint="http://127.0.0.1:9000", http_client=http),
               S3_FIRST, httpx.Response(503, text="<Error><Code>SlowDown</Code></Error>")),
    "zorbeck": (lambda http: ZorbeckClient("SID", "SKEY", "b-1250000000", http_client=http),
                S3_FIRST, httpx.Response(403, text="<Error><Code>AccessDenied</Code></Error>")),
    "kestry": (lambda http: KestryOSSClient("ak", "sk", "bucket", http_client=http),
               OSS_FIRST, httpx.Response(403, text="<Error><Code>AccessDenied</Code></Error>")),
    "marvex": (lambda http: MarvexKodoClient("AK", "SK", "bkt", http_client=http),
               httpx.Response(200, json={"items": [{"key": "a"}], "marker": "m"}),
               httpx.Response(401, json={"error": "bad token"})),
    "pelora": (lambda http: PeloraFileClient("PUB", "PRIV", "bkt", http_client=http),
               httpx.Response(200, json={"DataSet": [{"FileName": "a"}], "NextMarker": "m"}),
               httpx.Response(503, json={"RetCode": -1, "ErrMsg": "busy"})),
}


def scripted(factory, *answers, sent=None):
    """A client answered from `answers` in turn; the requests go to `sent` when given."""
    queue = list(answers)

    def answer(request):
        if sent is not None:
            sent.append(request)
        return queue.pop(0)

    return factory(httpx.Client(transport=httpx.MockTransport(answer)))


@pytest.mark.parametrize("name", CLIENTS)
def test_a_refused_page_ends_the_walk_with_an_error(name):
    factory, first, refused = CLIENTS[name]
    keys = []
    with pytest.raises(Exception) as failure:
        keys.extend(entry["key"] for entry in scripted(factory, first, refused).iter_objects())
    assert (type(failure.value), str(failure.value)) == (Exception, f"列举对象失败: {refused.status_code} {refused.text}")
    assert keys == ["a"]
    page = scripted(factory, refused).list()
    assert page == {"objects": [], "is_truncated": False}
    assert (page.status_code, page.text) == (refused.status_code, refused.text)


TRUNCATED = "<IsTruncated>true</IsTruncated>"


@pytest.mark.parametrize("name", ["dravik", "zorbeck"])
def test_a_truncated_page_without_a_token_ends_the_walk_with_an_error(name):
    client = scripted(CLIENTS[name][0], xml_page("<Contents><Key>a</Key></Contents>" + TRUNCATED))
    with pytest.raises(Exception, match="^列举对象失败: 列表被截断但没有继续标记$"):
        list(client.iter_objects())


def test_kestry_goes_on_after_the_last_key_of_a_page_without_a_marker():
    sent, keys = [], []
    first = xml_page("<Contents><Key>a</Key></Contents><Contents><Key>b</Key></Contents>" + TRUNCATED)
    client = scripted(CLIENTS["kestry"][0], first, xml_page(TRUNCATED), sent=sent)
    with pytest.raises(Exception, match="^列举对象失败: 列表被截断但没有继续标记$"):  # nothing to go on from
        keys.extend(entry["key"] for entry in client.iter_objects())
    assert (keys, [request.url.params["marker"] for request in sent]) == (["a", "b"], ["", "b"])


UNPARSABLE = [httpx.Response(503, text="Service Unavailable"), httpx.Response(502, text=""),
              httpx.Response(504, text="<html><body>Gateway Time-out<br></body></html>")]


@pytest.mark.parametrize("name", CLIENTS)
@pytest.mark.parametrize("refused", UNPARSABLE, ids=["plain-text", "empty", "html"])
def test_a_refused_answer_that_does_not_parse_keeps_its_status(name, refused):
    factory, first, _ = CLIENTS[name]
    page = scripted(factory, refused).list()
    assert page == {"objects": [], "is_truncated": False} and isinstance(page, RefusedPage)
    assert (page.status_code, page.text) == (refused.status_code, refused.text)
    with pytest.raises(Exception) as failure:
        list(scripted(factory, first, refused).iter_objects())
    assert str(failure.value) == f"列举对象失败: {refused.status_code} {refused.text}"


NOT_A_LISTING = ["<html><head><title>Welcome</title></head><body><p>It works!</p></body></html>",
                 "<Error><Code>NoSuchBucket</Code></Error>", "<ListBucketResults/>"]


@pytest.mark.parametrize("name", ["dravik", "zorbeck", "kestry"])
@pytest.mark.parametrize("body", NOT_A_LISTING, ids=["web-page", "error", "other-root"])
def test_a_2xx_answer_that_is_no_listing_is_refused(name, body):
    page = scripted(CLIENTS[name][0], httpx.Response(200, text=body)).list()
    assert isinstance(page, RefusedPage) and (page.status_code, page.text) == (200, body)
    with pytest.raises(Exception, match="^列举对象失败: 200 "):
        list(scripted(CLIENTS[name][0], httpx.Response(200, text=body)).iter_objects())
