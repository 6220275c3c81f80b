"""An httpx client that answers from a script and records every request exactly.

Two views of each request are kept: the call as the library made it (`Client.request`, or
`Client.build_request` followed by `Client.send`, with its positional arguments and keywords in
order, the headers dict as passed and a snapshot of it), and the request as it reached the
transport (method, URL, headers, body, time-out). Answers reach the library as a transport hands
them over, their bodies unread.

`Recorder()`'s client overrides request(), so the library sends everything through it;
`Recorder(streaming=True)`'s keeps httpx's own, so the library may stream, and records a call of
request() from its frame (the keywords not left at their defaults).
"""

import dataclasses
import inspect
import sys
from typing import Any, Callable, List, Optional, Tuple

import httpx


@dataclasses.dataclass
class RequestCall:
    method: str
    url: Any
    keywords: List[Tuple[str, Any]]    # in the order they were passed
    headers_snapshot: Optional[dict]   # copy of the headers dict when the call was made
    via: str = "request"               # or "build_request", for a request then sent with send()
    send_keywords: Optional[List[Tuple[str, Any]]] = None  # the keywords of that send()

    @property
    def keyword_names(self):
        return [name for name, _ in self.keywords]

    def kw(self, name, default=None):
        return dict(self.keywords).get(name, default)


@dataclasses.dataclass
class Sent:
    method: str
    url: str
    headers: List[Tuple[str, str]]  # as on the wire, with httpx's own defaults
    body: bytes
    timeout: dict

    def header(self, name):
        values = [v for k, v in self.headers if k.lower() == name.lower()]
        return values[0] if values else None


class Recorder:
    """Scripted answers: `respond(...)` queues responses (or callables taking the request);
    when the queue is empty, `default` answers (200 with an empty body unless changed)."""

    def __init__(self, streaming=False):
        self.calls: List[RequestCall] = []
        self.sent: List[Sent] = []
        self._queue: List[Any] = []
        self.default: Callable[[httpx.Request], httpx.Response] = lambda request: httpx.Response(200)
        self.client = (_SendRecordingClient if streaming else _RecordingClient)(self)

    def respond(self, *responses):
        self._queue.extend(responses)

    def _handle(self, request: httpx.Request) -> httpx.Response:
        self.sent.append(Sent(
            method=request.method,
            url=str(request.url),
            headers=[(k.decode("latin-1"), v.decode("latin-1")) for k, v in request.headers.raw],
            body=request.read(),
            timeout=request.extensions.get("timeout"),
        ))
        answer = self._queue.pop(0) if self._queue else self.default
        return unread(answer(request) if callable(answer) else answer)

    def record(self, method, url, kwargs, via="request"):
        headers = kwargs.get("headers")
        self.calls.append(RequestCall(
            method, url, list(kwargs.items()), dict(headers) if isinstance(headers, dict) else None, via))

    @property
    def last(self) -> Sent:
        return self.sent[-1]

    @property
    def last_call(self) -> RequestCall:
        return self.calls[-1]


def unread(response: httpx.Response) -> httpx.Response:
    """The answer as a transport hands it over, its body not yet read. httpx reads the body of a
    Response built with `content=` (decoding any Content-Encoding) as it is built, after which
    its bytes as sent (iter_raw) can no longer be had; this one streams those bytes again."""
    if isinstance(response.stream, httpx.ByteStream) and response.is_stream_consumed:
        return httpx.Response(response.status_code, headers=response.headers, stream=response.stream,
                              extensions=response.extensions)
    return response


class _OverRecorder(httpx.Client):
    def __init__(self, recorder: Recorder):
        super().__init__(transport=httpx.MockTransport(recorder._handle))
        self._recorder = recorder


class _RecordingClient(_OverRecorder):
    _building = False  # inside request(), whose own build_request() is not a call of the library

    def request(self, method, url, *args, **kwargs):
        self._recorder.record(method, url, kwargs)
        self._building = True
        try:
            return super().request(method, url, *args, **kwargs)
        finally:
            self._building = False

    def build_request(self, method, url, *args, **kwargs):
        if not self._building:  # a request the library sends itself with send()
            self._recorder.record(method, url, kwargs, via="build_request")
        return super().build_request(method, url, *args, **kwargs)

    def send(self, request, *args, **kwargs):
        if not self._building:
            self._recorder.calls[-1].send_keywords = list(kwargs.items())
        return super().send(request, *args, **kwargs)


_REQUEST = httpx.Client.request
_REQUEST_DEFAULTS = {name: p.default for name, p in inspect.signature(_REQUEST).parameters.items()
                     if p.kind is p.KEYWORD_ONLY}


class _SendRecordingClient(_OverRecorder):
    def build_request(self, method, url, *args, **kwargs):
        caller = sys._getframe(1)
        if caller.f_code is _REQUEST.__code__:  # a call of request(): the keywords it was given
            given = caller.f_locals
            self._recorder.record(method, url, {k: given[k] for k, d in _REQUEST_DEFAULTS.items() if given[k] is not d})
        else:
            self._recorder.record(method, url, kwargs, via="build_request")
        return super().build_request(method, url, *args, **kwargs)

    def send(self, request, *args, **kwargs):
        if sys._getframe(1).f_code is not _REQUEST.__code__:
            self._recorder.calls[-1].send_keywords = list(kwargs.items())
        return super().send(request, *args, **kwargs)
