"""Signatures against the vector folders (the documented string to sign, and the vendor SDK run
once as a black box), and the signing steps the class exposes."""

import pytest

import vectors
from corvault.pelora import PeloraFileClient


def client_for(case, recorder):
    return PeloraFileClient(case.input["access_key"], case.input["secret_key"], case.input["bucket"],
                            http_client=recorder.client)


def first(headers, name):
    return next((str(v) for k, v in headers if k.lower() == name), "")


@pytest.mark.parametrize("case", vectors.params("sigv2-ufile"))
def test_signing_steps(case, recorder):
    client = client_for(case, recorder)
    given = case.input["headers"]
    string_to_sign, signature = case.text("string-to-sign.txt"), case.text("signature.txt")
    assert client._sign(string_to_sign) == signature
    tail = client._canonicalized_pelora_headers(case.headers()) + client._canonicalized_resource(case.input["key"])
    assert string_to_sign.endswith("\n" + tail)
    date = case.input.get("expires") or first(given, "date")
    assert client._make_authorization(case.input["key"], date, case.input["method"], first(given, "content-md5"),
                                      first(given, "content-type"), case.headers()) == signature


@pytest.mark.parametrize("case", vectors.params("sigv2-ufile", where=lambda c: not c.has("url.txt")))
def test_header_form_on_the_wire(case, recorder, capsys):
    client_for(case, recorder)._request(case.input["method"], case.input["key"], headers=case.headers())
    assert recorder.last.header("Authorization") == case.text("authorization.txt")


@pytest.mark.parametrize("case", vectors.params("sigv2-ufile", where=lambda c: c.has("url.txt")))
def test_share_url(case, recorder, frozen_time):
    frozen_time(int(case.input["now"]) + 0.9)
    client = client_for(case, recorder)
    assert client.get_shared_url(case.input["key"], int(case.input["expire_time"])) == case.text("url.txt")


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
    assert make().get_path_url("a/../b/.") == "https://bkt.cn-wlcb.ufileos.com/a/%2E%2E/b/%2E"
    assert make().get_shared_url("./k", 0).startswith("https://bkt.cn-wlcb.ufileos.com/%2E/k?UCloudPublicKey=PUB&")


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


@pytest.mark.parametrize("operation", [lambda c: c._sign("x"), lambda c: c.get_shared_url("k"),
                                       lambda c: c._build_auth_header("k", "GET")])
def test_an_unencodable_private_key_is_named_not_shown(operation, recorder):
    client = PeloraFileClient("PUB", "SECRET-\ud800", "bkt", http_client=recorder.client)
    with pytest.raises(ValueError, match="'private_key' cannot be encoded as UTF-8") as info:
        operation(client)
    assert "SECRET" not in repr(info.value.args)


def test_build_auth_header_hands_the_request_values_on_by_name(recorder):
    seen = {}

    class Named(PeloraFileClient):
        def _make_authorization(self, key, expires, **named):
            seen.update(named, key=key, expires=expires)
            return "SIG"

    client = Named("PUB", "PRIV", "bkt", http_client=recorder.client)
    assert client._build_auth_header("k", "PUT", "m", "t", {"x-ucloud-a": "1"}) == "UCloud PUB:SIG"
    assert seen == {"key": "k", "expires": "", "method": "PUT", "content_md5": "m", "content_type": "t",
                    "headers": {"x-ucloud-a": "1"}}


def test_make_authorization_goes_through_the_replaceable_steps(recorder):
    class Steps(PeloraFileClient):
        def _canonicalized_resource(self, key):
            return "<" + key + ">"

        def _canonicalized_pelora_headers(self, headers):
            return f"[{len(headers)}]\n"

        def _sign(self, string_to_sign):
            return string_to_sign

    client = Steps("PUB", "PRIV", "bkt", http_client=recorder.client)
    assert client._make_authorization("k", "9", "PUT", "m", "t") == "PUT\nm\nt\n9\n[0]\n<k>"
    assert client._make_authorization("k", "", headers={"a": 1, "b": 2}) == "GET\n\n\n\n[2]\n<k>"
    plain = PeloraFileClient("PUB", "PRIV", "bkt", http_client=recorder.client)
    plain._sign = str.upper
    assert plain._build_auth_header("k", "get") == "UCloud PUB:GET\n\n\n\n/BKT/K"


def test_header_block_follows_a_replaced_key_sort(recorder):
    class Descending(PeloraFileClient):
        def _key_sort(self, params):
            return dict(sorted(params.items(), reverse=True))

    client = Descending("PUB", "PRIV", "bkt", http_client=recorder.client)
    headers = {"X-UCloud-A": "1", "x-ucloud-b": 2, "x-ucloud-a": "3", "Date": "d"}
    assert client._canonicalized_pelora_headers(headers) == "x-ucloud-b:2\nx-ucloud-a:3\n"
    assert client._make_authorization("k", "", headers=headers) == client._sign("GET\n\n\n\nx-ucloud-b:2\nx-ucloud-a:3\n/bkt/k")
