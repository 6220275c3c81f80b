"""Signing and share URLs of KestryOSSClient, against the vendor's own Python SDKs.

    python bench/bench_kestry.py [--quick]

Prints the median time per operation of each side and their ratio. The references are the
vendor's SDKs `alibabacloud-oss-v2` (the Version 4 signer) and `oss2` (`Bucket.sign_url`). They
are not dependencies of the library or of its test environment: install them into an
environment of their own and run this script there with the built library importable, e.g.

    python3 -m venv /tmp/oss-bench && /tmp/oss-bench/bin/pip install alibabacloud-oss-v2 oss2
    PYTHONPATH=.venv/py3.11/lib/python3.11/site-packages /tmp/oss-bench/bin/python bench/bench_kestry.py
"""

import argparse
import datetime
import sys

import oss2
from alibabacloud_oss_v2 import types as oss_types
from alibabacloud_oss_v2.signer import SignerV4

from benchlib import compare
from corvault.kestry import KestryOSSClient

ACCESS_KEY, SECRET_KEY = "LTAI5tExampleAccessKey", "ExampleSecretKeyForBenchmarking01"
BUCKET, KEY, REGION = "examplebucket", "photos/2024/holiday at the sea.jpg", "cn-hangzhou"
HOST = f"{BUCKET}.oss-{REGION}.aliyuncs.com"
URL = f"https://{HOST}/photos/2024/holiday%20at%20the%20sea.jpg"
WHEN = datetime.datetime(2024, 2, 29, 12, 0, 0, tzinfo=datetime.timezone.utc)


def report(title, timings, their_name, goal):
    ours, theirs, ratio = timings
    print(f"{title}\n  corvault {ours * 1e6:9.2f} us   {their_name} {theirs * 1e6:9.2f} us   "
          f"ratio {ratio:6.1f}x   (goal {goal})")
    return ratio


def bench_header_signing(number, repeat):
    client = KestryOSSClient(ACCESS_KEY, SECRET_KEY, BUCKET, f"oss-{REGION}", http_client=object())
    # The headers _request hands the signer for an upload with a content type.
    headers = {"Content-Type": "image/jpeg", "Host": HOST, "x-oss-content-sha256": "UNSIGNED-PAYLOAD",
               "x-oss-date": WHEN.strftime("%Y%m%dT%H%M%SZ")}
    credentials = oss_types.Credentials(ACCESS_KEY, SECRET_KEY)
    signer = SignerV4()

    def sdk_sign():
        request = oss_types.HttpRequest("PUT", URL, headers={
            "Content-Type": "image/jpeg", "x-oss-content-sha256": "UNSIGNED-PAYLOAD"})
        signer.sign(oss_types.SigningContext(product="oss", region=REGION, bucket=BUCKET, key=KEY, request=request,
                                             credentials=credentials, signing_time=WHEN))

    timings = compare(lambda: client._sign_request("PUT", KEY, headers), sdk_sign, number, max(1, number // 10),
                      repeat)
    return report("OSS Version 4 header signing, per request", timings, "alibabacloud-oss-v2", ">= 15x")


def bench_share_urls(number, repeat):
    client = KestryOSSClient(ACCESS_KEY, SECRET_KEY, BUCKET, f"oss-{REGION}", http_client=object())
    bucket = oss2.Bucket(oss2.Auth(ACCESS_KEY, SECRET_KEY), f"https://oss-{REGION}.aliyuncs.com", BUCKET)
    assert client.get_shared_url(KEY).split("?")[0] == bucket.sign_url("GET", KEY, 1200, slash_safe=True).split("?")[0]
    timings = compare(lambda: client.get_shared_url(KEY), lambda: bucket.sign_url("GET", KEY, 1200, slash_safe=True),
                      number, max(1, number // 10), repeat)
    return report("OSS Version 1 share URL, per URL", timings, "oss2 sign_url", ">= 15x")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="fewer repetitions")
    args = parser.parse_args()
    number, repeat = (2000, 5) if args.quick else (20000, 9)
    print(f"Python {sys.version.split()[0]}")
    bench_header_signing(number, repeat)
    bench_share_urls(number, repeat)


if __name__ == "__main__":
    main()
