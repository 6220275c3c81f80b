"""The vector folders agree with themselves, checked with hashlib alone: each string to sign ends
in the hash of its canonical request, each signature is the HMAC of its string to sign under the
published key chain, and the Authorization value or URL carries it. A folder edited by hand that
no longer holds together fails here, before any signer is suspected."""

import base64
import hashlib
import hmac

import pytest

import vectors

# The first key of each Version 4 chain, as each service publishes it.
KEY_PREFIX = {"sigv4-s3": "AWS4", "sigv4-oss": "aliyun_v4"}


def test_every_scheme_folder_has_cases():
    assert set(vectors.schemes()) >= {"sigv4-s3", "sigv4-oss", "sigv2-s3", "sigv2-oss"}
    for scheme in vectors.schemes():
        assert vectors.cases(scheme), scheme


@pytest.mark.parametrize("case", vectors.params(where=lambda c: c.scheme.startswith("sigv4-")))
def test_v4_folder(case):
    lines = case.text("string-to-sign.txt").split("\n")
    assert len(lines) == 4
    assert lines[1] == case.input["time"]
    assert lines[3] == hashlib.sha256(case.text("canonical-request.txt").encode()).hexdigest()
    date, region, service, terminator = lines[2].split("/")
    assert (date, region, service) == (case.input["time"][:8], case.input["region"], case.input["service"])
    key = (KEY_PREFIX[case.scheme] + case.input["secret_key"]).encode()
    for part in (date, region, service, terminator):
        key = hmac.new(key, part.encode(), hashlib.sha256).digest()
    signature = case.text("signature.txt")
    assert hmac.new(key, "\n".join(lines).encode(), hashlib.sha256).hexdigest() == signature
    carrier = case.text("authorization.txt") if case.has("authorization.txt") else case.text("url.txt")
    assert carrier.endswith("Signature=" + signature)


@pytest.mark.parametrize("case", vectors.params(where=lambda c: c.scheme.startswith("sigv2-")))
def test_v2_folder(case):
    digest = hmac.new(case.input["secret_key"].encode(), case.text("string-to-sign.txt").encode(), hashlib.sha1)
    signature = base64.b64encode(digest.digest()).decode()
    assert signature == case.text("signature.txt")
    assert case.text("authorization.txt").endswith(f" {case.input['access_key']}:{signature}")
