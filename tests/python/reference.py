"""Reference signatures computed by botocore, AWS's own Python signer, for comparison."""

import datetime
from urllib.parse import quote, urlsplit, parse_qsl

from botocore import auth as botocore_auth
from botocore.awsrequest import AWSRequest
from botocore.credentials import Credentials


def sigv4_authorization(access_key, secret_key, region, method, url, headers, params, amz_date):
    """The Authorization value botocore computes for an S3 request whose path is the URL's path
    as written, signing exactly `headers` (the payload hash comes from x-amz-content-sha256)."""
    signer = botocore_auth.S3SigV4Auth(Credentials(access_key, secret_key), "s3", region)
    request = AWSRequest(method=method, url=url, headers=headers, params=params)
    request.context["timestamp"] = amz_date
    canonical = signer.canonical_request(request)
    signature = signer.signature(signer.string_to_sign(request, canonical), request)
    signed = signer.signed_headers(signer.headers_to_sign(request))
    return (f"AWS4-HMAC-SHA256 Credential={signer.scope(request)}, SignedHeaders={signed}, "
            f"Signature={signature}")


def sigv4_presigned_query(access_key, secret_key, region, url, expires, params, now, monkeypatch):
    """The query parameters of botocore's pre-signed GET URL for `url`, as a dict."""
    monkeypatch.setattr(botocore_auth, "get_current_datetime", lambda *a, **k: now)
    signer = botocore_auth.S3SigV4QueryAuth(Credentials(access_key, secret_key), "s3", region, expires=expires)
    request = AWSRequest(method="GET", url=url, params=dict(params))
    signer.add_auth(request)
    return dict(parse_qsl(urlsplit(request.url).query, keep_blank_values=True))


def sigv2_authorization(access_key, secret_key, method, url, headers, auth_path):
    """The Authorization value of botocore's Signature Version 2 signer; `auth_path` is the
    bucket-and-key path the resource covers. botocore replaces Date with its own clock reading,
    so the caller's Date entry (any letter case) is put back."""
    signer = botocore_auth.HmacV1Auth(Credentials(access_key, secret_key))
    date = next((value for name, value in headers.items() if name.lower() == "date"), "")
    signer._get_date = lambda: date
    request = AWSRequest(method=method, url=url, headers=dict(headers))
    request.auth_path = auth_path
    signer.add_auth(request)
    return request.headers["Authorization"]


def quote_path(text):
    return quote(text, safe="/~")


def utc(epoch):
    return datetime.datetime.fromtimestamp(epoch, datetime.timezone.utc).replace(tzinfo=None)
