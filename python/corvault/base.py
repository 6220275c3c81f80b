"""BaseStorageClient: what every client class shares.

Subclasses set all of their own attributes in their constructors and never run this class's
constructor; every member here works on such an object. A subclass provides ``list(prefix,
marker, limit)`` returning a listing record (``objects``, ``is_truncated``, ``next_marker``),
``upload(key, data, content_type=...)`` and ``upload_part(key, upload_id, part_number, data,
content_type, headers)``. A client whose listing marker is the key to start after (not a token of
the service's own) sets ``listing_marker_is_key``.
"""

import collections.abc
import io
import mimetypes

import httpx

DEFAULT_PAGE_SIZE = 1000


class RefusedPage(dict):
    """The listing page of an answer the service refused (status outside 2xx), or of a 2xx answer
    that is no listing (XML of another document).

    It is the very page `list` has always returned for such an answer (no objects, not
    truncated) and compares equal to it, so callers of one page see nothing new; `status_code`
    and `text` keep the refusal, so that a walk over every page does not take it for the end of
    the bucket.
    """

    def __init__(self, page, status_code, text):
        super().__init__(page)
        self.status_code = status_code
        self.text = text


def raise_if_refused(page):
    """Raise when `page` is a RefusedPage; a page of another kind, whatever it carries, is read."""
    if isinstance(page, RefusedPage):
        raise Exception(f"列举对象失败: {page.status_code} {page.text}")


def resendable_body(data):
    """`data` as a body that every attempt of a retried request sends whole, and the offset to
    rewind it to before each attempt (None when it needs no rewinding).

    A file object that says it is seekable() is rewound; one that cannot be (a pipe, standard
    input, an HTTP response) is read whole once. An iterable of byte chunks (a generator), which
    the first attempt would use up, is gathered once into bytes, holding the body and one chunk at
    a time; a chunk that is not bytes-like raises TypeError before anything is sent. Any other
    buffer is taken as bytes; bytes, text and mappings are sent as they are.
    """
    if hasattr(data, "read"):
        seekable = getattr(data, "seekable", None)
        if seekable is not None and seekable():
            return data, data.tell()
        return data.read(), None
    if data is None or isinstance(data, (bytes, str, collections.abc.Mapping)):
        return data, None
    try:
        return bytes(memoryview(data)), None
    except TypeError:
        pass  # no buffer
    if isinstance(data, collections.abc.Iterable):
        gathered = io.BytesIO()  # grown in place; getvalue() hands over its buffer without a copy
        for chunk in data:
            gathered.write(chunk)
        return gathered.getvalue(), None
    return data, None


class BaseStorageClient:
    """Base class of the storage clients."""

    # Whether `list`'s marker is the key to start after: a truncated page without a marker then
    # goes on from its last key instead of failing.
    listing_marker_is_key = False

    def upload_file(self, key, local_path):
        """Store the local file at `local_path` as the object `key`, read whole into memory.

        It calls `upload(key, data, content_type=...)` with no time-out of its own, so the client's
        `default_timeout` applies."""
        content_type = mimetypes.guess_type(local_path)[0] or "application/octet-stream"
        with open(local_path, "rb") as f:
            data = f.read()
        return self.upload(key, data, content_type=content_type)

    def iter_objects(self, prefix="", page_size=DEFAULT_PAGE_SIZE):
        """Yield the entry of every object under `prefix`, page by page, through `self.list`.

        Raises Exception "列举对象失败: <status> <text>" on a RefusedPage (a listing answer the
        service refused, or one that is no listing), "列举对象失败: 列表被截断但没有继续标记" on a
        truncated page that names no marker to go on from, and an Exception when a marker comes
        back that was already asked for; the entries of the pages before have been yielded.
        """
        marker = ""
        asked = set()
        while True:
            asked.add(marker)
            page = self.list(prefix=prefix, marker=marker, limit=page_size)
            raise_if_refused(page)
            objects = page.get("objects", [])
            yield from objects
            if not page.get("is_truncated"):
                return
            marker = page.get("next_marker")
            if not marker and self.listing_marker_is_key and objects:
                marker = objects[-1]["key"]
            # Taking a truncated page for the last would report part of the bucket as all of it.
            if not marker:
                raise Exception("列举对象失败: 列表被截断但没有继续标记")
            # A service that hands back a marker already asked for would serve the same pages
            # for ever, and every count over them would grow without end.
            if marker in asked:
                raise Exception(f"the listing does not advance: marker {marker!r} was returned again")

    def _upload_part_with_retry(self, key, upload_id, part_number, data,
                                content_type="application/octet-stream", headers=None, retries=3):
        """Upload one part, trying up to `retries` times; returns the first 2xx response.

        A transport error or a non-2xx answer counts as a failed attempt. Every attempt sends the
        whole part (resendable_body): file-like data that is seekable() is rewound before each
        attempt, other file-like data is read whole once, and an iterable of chunks is gathered
        once, before the first attempt. When the attempts run out, raises an Exception naming the
        part and the last status, or the last transport error, which is its __cause__.
        """
        data, start = resendable_body(data)
        last_failure = None
        for _ in range(max(1, int(retries))):
            if start is not None:
                data.seek(start)
            try:
                response = self.upload_part(key, upload_id, part_number, data, content_type, headers)
            except httpx.TransportError as exc:
                last_failure = exc
                continue
            if 200 <= response.status_code < 300:
                return response
            last_failure = response
        if isinstance(last_failure, httpx.Response):
            raise Exception(f"上传分片 {part_number} 失败: {last_failure.status_code} {last_failure.text}")
        raise Exception(f"上传分片 {part_number} 失败: {last_failure!r}") from last_failure
