"""Signatures against the vector folders (the documented string to sign, and the vendor SDK run
once as a black box), and the signing steps the class exposes."""

import json
import pathlib

import pytest

from corvault.pelora import PeloraFileClient

VECTORS = pathlib.Path(__file__).resolve().parents[2] / "vectors" / "sigv2-ufile"
CASES = sorted(p.name for p in VECTORS.iterdir())


def load(case):
    folder = VECTORS / case
    context = json.loads((folder / "input.json").read_text())
    context.setdefault("expires", "")

    def read(name):  # a final line feed is not part of the text
        path = folder / name
        return path.read_text().removesuffix("\n") if path.exists() else None

    return context, read("string-to-sign.txt"), read("signature.txt"), read("authorization.txt"), read("url.txt")


def client_for(context, recorder):
    return PeloraFileClient(context["access_key"], context["secret_key"], context["bucket"],
                            http_client=recorder.client)


def first(headers, name):
    return next((str(v) for k, v in headers if k.lower() == name), "")


@pytest.mark.parametrize("case", CASES)
def test_signing_steps(case, recorder):
    context, string_to_sign, signature, _, _ = load(case)
    client = client_for(context, recorder)
    headers = dict(context["headers"])
    assert client._sign(string_to_sign) == signature
    tail = client._canonicalized_pelora_headers(headers) + client._canonicalized_resource(context["key"])
    assert string_to_sign.endswith("\n" + tail)
    assert client._make_authorization(
        context["key"], context["expires"] or first(context["headers"], "date"), context["method"],
        first(context["headers"], "content-md5"), first(context["headers"], "content-type"), headers) == signature


@pytest.mark.parametrize("case", [c for c in CASES if not load(c)[4]])
def test_header_form_on_the_wire(case, recorder, capsys):
    context, _, _, authorization, _ = load(case)
    headers = {name: str(value) for name, value in context["headers"]}
    client_for(context, recorder)._request(context["method"], context["key"], headers=headers)
    assert recorder.last.header("Authorization") == authorization


@pytest.mark.parametrize("case", [c for c in CASES if load(c)[4]])
def test_share_url(case, recorder, frozen_time):
    context, _, _, _, url = load(case)
    frozen_time(int(context["now"]) + 0.9)
    assert client_for(context, recorder).get_shared_url(context["key"], int(context["expire_time"])) == url


def test_share_url_base_and_expiry(make, frozen_time):
    frozen_time(1000.5)
    internal = make(internal=True)
    assert internal.get_shared_url("k", 0).startswith("https://bkt.cn-wlcb.ufileos.com/k?UCloudPublicKey=PUB&")
    assert internal.get_shared_url("k", 0).endswith("&Expires=1000")
    assert internal.get_path_url("a b/c") == "https://bkt.internal-cn-wlcb.ufileos.com/a%20b/c"
    own_endpoint = make(internal=True, domain_url="")
    assert own_endpoint.get_shared_url("k", 2.7).startswith("https://bkt.internal-cn-wlcb.ufileos.com/k?")
    assert own_endpoint.get_shared_url("k", 2.7).endswith("&Expires=1002")
    assert make(domain_url="http://cdn.example/").get_path_url("?#") == "http://cdn.example/%3F%23"


def test_header_lines(make):
    client = make()
    headers = {"x-ucloud-b": "2", "X-UCloud-A": " spaced ", "Content-Type": "t", "Date": "d", "Range": "r"}
    assert client._canonicalized_pelora_headers(headers) == "x-ucloud-a: spaced \nx-ucloud-b:2\n"
    assert client._key_sort({"b": 1, "a": 2, "B": 3}) == {"B": 3, "a": 2, "b": 1}
    assert list(client._key_sort({"b": 1, "a": 2})) == ["a", "b"]
    assert client._canonicalized_resource("/k") == "/bkt//k"
    with pytest.raises(AttributeError):
        client._canonicalized_pelora_headers({1: "x"})
    assert client._build_auth_header("k", "GET") == "UCloud PUB:" + client._make_authorization("k", "")


@pytest.mark.parametrize("call", [
    lambda c: c._sign(b"x"),
    lambda c: c._make_authorization("k", 1),
    lambda c: c._build_auth_header("k", "GET", headers=[]),
    lambda c: c._key_sort(None),
    lambda c: c.get_shared_url("k", "1200"),
])
def test_argument_types(call, make):
    with pytest.raises(TypeError):
        call(make())
