"""An httpx client that answers from a script and records every request exactly.

Two views of each request are kept: the call as the library made it (`Client.request` with its
positional arguments and keywords in order, the headers dict as passed and a snapshot of it),
and the request as it reached the transport (method, URL, headers, body, time-out).
"""

import dataclasses
from typing import Any, Callable, List, Optional, Tuple

import httpx


@dataclasses.dataclass
class RequestCall:
    method: str
    url: Any
    keywords: List[Tuple[str, Any]]    # in the order they were passed
    headers_snapshot: Optional[dict]   # copy of the headers dict when the call was made

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

    def __init__(self):
        self.calls: List[RequestCall] = []
        self.sent: List[Sent] = []
        self._queue: List[Any] = []
        self.default: Callable[[httpx.Request], httpx.Response] = lambda request: httpx.Response(200)
        self.client = _RecordingClient(self)

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
        return answer(request) if callable(answer) else answer

    @property
    def last(self) -> Sent:
        return self.sent[-1]

    @property
    def last_call(self) -> RequestCall:
        return self.calls[-1]


class _RecordingClient(httpx.Client):
    def __init__(self, recorder: Recorder):
        super().__init__(transport=httpx.MockTransport(recorder._handle))
        self._recorder = recorder

    def request(self, method, url, *args, **kwargs):
        headers = kwargs.get("headers")
        self._recorder.calls.append(RequestCall(
            method, url, list(kwargs.items()), dict(headers) if isinstance(headers, dict) else None))
        return super().request(method, url, *args, **kwargs)
