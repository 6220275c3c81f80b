import httpx
import pytest
from recorder import unread

from corvault.marvex import MarvexKodoClient


class SpyClient(httpx.Client):
    """Records how the library calls get/post/request/build_request/send (positional arguments
    and keyword names in order) and every request as it reaches the transport; answers through
    `answer(request)`, handed over unread as a transport would."""

    def __init__(self):
        super().__init__(transport=httpx.MockTransport(self._handle))
        self.calls, self.sent = [], []
        self.answer = lambda request: httpx.Response(200, json={})
        self._inside = False

    def _handle(self, request):
        request.read()
        self.sent.append(request)
        return unread(self.answer(request))

    def _record(self, name, args, kwargs, send):
        outermost = not self._inside
        if outermost:
            self.calls.append((name, args, list(kwargs)))
        self._inside = True
        try:
            return send()
        finally:
            self._inside = not outermost

    def get(self, url, **kwargs):
        return self._record("get", (url,), kwargs, lambda: super(SpyClient, self).get(url, **kwargs))

    def post(self, url, **kwargs):
        return self._record("post", (url,), kwargs, lambda: super(SpyClient, self).post(url, **kwargs))

    def request(self, method, url, **kwargs):
        return self._record("request", (method, url), kwargs,
                            lambda: super(SpyClient, self).request(method, url, **kwargs))

    def build_request(self, method, url, **kwargs):
        return self._record("build_request", (method, url), kwargs,
                            lambda: super(SpyClient, self).build_request(method, url, **kwargs))

    def send(self, request, **kwargs):
        return self._record("send", (), kwargs, lambda: super(SpyClient, self).send(request, **kwargs))

    @property
    def last(self):
        return self.sent[-1]


@pytest.fixture
def spy():
    return SpyClient()


@pytest.fixture
def make(spy, frozen_time):
    frozen_time(1700000000)

    def factory(*args, **kwargs):
        return MarvexKodoClient(*(args or ("AK", "SK", "bkt")), http_client=spy, **kwargs)

    return factory
