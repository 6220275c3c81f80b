"""Input a careless or hostile caller hands the client: credentials that cannot be encoded, and
mappings and values that change under the signer while it reads them."""

import os
import traceback

import pytest
from fresh import run_script

from corvault.dravik import DravikClient

SECRET = "TOPSECRET-\ud800-value"


def formatted(exc):
    return "".join(traceback.format_exception(exc)) + repr(exc.args)


class TestUnencodableCredentials:
    @pytest.mark.parametrize("attribute", ["secret_key", "access_key"])
    @pytest.mark.parametrize("operation", [
        lambda c: c._sign_request("GET", "k", {}),
        lambda c: c._sign_request_v2("GET", "k", {}),
        lambda c: c._presign_url("GET", "k", 60),
        lambda c: c.get_shared_url("k", 60),
    ])
    def test_error_names_the_attribute_and_not_its_value(self, attribute, operation):
        client = DravikClient("AK", "SK", "bkt", http_client=object())
        setattr(client, attribute, SECRET)
        with pytest.raises(ValueError, match=f"'{attribute}' cannot be encoded as UTF-8") as info:
            operation(client)
        assert "TOPSECRET" not in formatted(info.value)
        assert info.value.__context__ is None and info.value.__cause__ is None


# Each scenario hands a signer a mapping that caller code (__bool__, __str__, lower(), strip(),
# a property) changes while the signer reads it. It runs in its own interpreter with the debug
# allocator, which fills freed memory, so that a signer reading a freed entry crashes or signs
# garbage there instead of by luck. A sound signer raises, or signs one of the mapping's states.
SCENARIO_PRELUDE = """
from corvault.dravik import DravikClient
HEADERS = {}
QUERY = {}
c = DravikClient("AK", "SK", "bkt", http_client=object())
v2 = DravikClient("AK", "SK", "bkt", http_client=object(), signature_version="dravik")
DATE = "Tue, 27 Mar 2007 19:36:42 +0000"
AMZ = "20130524T000000Z"

def text(c):  # built at run time: a literal would live on in the code's constants
    return "".join([c] * 40)

class Popping(str):
    def __bool__(self):
        HEADERS.clear()
        return True

class Clearing:
    def __init__(self, text, mapping):
        self.text, self.mapping = text, mapping
    def __str__(self):
        self.mapping.clear()
        return self.text
    def __bool__(self):
        return True
    def strip(self):
        self.mapping.clear()
        return self.text
    def lower(self):
        self.mapping.clear()
        return self.text

def outcome(sign, *states):
    try:
        result = sign()
    except Exception as exc:
        print("raised", type(exc).__name__)
        return
    assert result in states, (result, states)
    print("signed")
"""

SCENARIOS = {
    "v2 Date whose truth pops it": """
HEADERS.update({"Date": Popping(DATE)})
outcome(lambda: v2._sign_request_v2("GET", "k", HEADERS),
        v2._sign_request_v2("GET", "k", {"Date": DATE}), v2._sign_request_v2("GET", "k", {}))
""",
    "v4 x-amz-date whose truth pops it": """
HEADERS.update({"x-amz-date": Popping(AMZ)})
outcome(lambda: c._sign_request("GET", "k", HEADERS), c._sign_request("GET", "k", {"x-amz-date": AMZ}))
""",
    "v2 query value whose str clears the query": """
QUERY.update({"acl": Clearing(text("x"), QUERY), "uploads": text("y")})
outcome(lambda: v2._sign_request_v2("GET", "k", {"Date": DATE}, QUERY),
        v2._sign_request_v2("GET", "k", {"Date": DATE}, {"acl": text("x"), "uploads": text("y")}))
""",
    "v4 header name whose lower() clears the headers": """
HEADERS.update({"x-amz-meta-a": text("v"), Clearing("x-amz-meta-b", HEADERS): text("w"), "x-amz-date": AMZ})
outcome(lambda: c._sign_request("GET", "k", HEADERS),
        c._sign_request("GET", "k", {"x-amz-meta-a": text("v"), "x-amz-meta-b": text("w"), "x-amz-date": AMZ}))
""",
    "v2 header value whose strip() clears the headers": """
HEADERS.update({"x-amz-meta-a": text("v"), "x-amz-meta-b": Clearing(text("w"), HEADERS), "Date": DATE})
outcome(lambda: v2._sign_request_v2("GET", "k", HEADERS),
        v2._sign_request_v2("GET", "k", {"x-amz-meta-a": text("v"), "x-amz-meta-b": text("w"), "Date": DATE}))
""",
    "v4 header name whose lower() clears the query": """
QUERY.update({"prefix": text("p")})
HEADERS.update({Clearing("x-amz-meta-b", QUERY): "w", "x-amz-date": AMZ})
outcome(lambda: c._sign_request("GET", "k", HEADERS, QUERY),
        c._sign_request("GET", "k", {"x-amz-meta-b": "w", "x-amz-date": AMZ}, {"prefix": text("p")}),
        c._sign_request("GET", "k", {"x-amz-meta-b": "w", "x-amz-date": AMZ}, {}))
""",
    "pre-signed URL whose region property clears the query": """
import time
time.time = lambda: 1369353600.0
class Sub(DravikClient):
    @property
    def region(self):
        QUERY.clear()
        return self.__dict__["_region"]

    @region.setter
    def region(self, value):
        self.__dict__["_region"] = value
s = Sub("AK", "SK", "bkt", http_client=object())
QUERY.update({"response-content-type": text("t")})
outcome(lambda: s._presign_url("GET", "k", 60, QUERY),
        c._presign_url("GET", "k", 60, {"response-content-type": text("t")}))
""",
}


@pytest.mark.parametrize("name", list(SCENARIOS))
def test_signers_survive_callers_that_change_the_mapping(name):
    env = dict(os.environ, PYTHONMALLOC="debug", PYTHONFAULTHANDLER="1")
    printed = run_script(SCENARIO_PRELUDE + SCENARIOS[name], env=env)
    assert printed.strip() in ("signed", "raised TypeError", "raised AttributeError", "raised RuntimeError")
