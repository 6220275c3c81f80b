"""PeloraFileClient: header signing and share URLs against the vendor SDK's signer, and the peak
memory of a multipart upload from a file.

    python bench/bench_pelora.py [--quick] [--upload-mib 256]

Run it where both corvault and the `ufile` SDK import: install the SDK in an environment of its own
outside this checkout (the library never uses it). The upload goes to an in-process stand-in of
the service that only counts the bytes, so what is measured is the client's own memory: the file
is read one part at a time, and each part should be gone once it is sent.
"""

import argparse
import gc
import json
import os
import subprocess
import sys
import tempfile

import httpx

from benchlib import compare, memory_status, reset_peak
from corvault.pelora import PeloraFileClient

PUBLIC_KEY, PRIVATE_KEY = "TOKEN_5f0c9a1e-2b7d-4c3a-9e61-8d4f2a7b0c55", "8c1f3e5a-6b2d-4e9f-a07c-3d5b1e9f2a64"
BUCKET, KEY = "demo-bucket", "photos/2024/holiday at the sea.jpg"
MIB = 1024 * 1024


def report(title, timings, goal):
    ours, theirs, ratio = timings
    print(f"{title}\n  corvault {ours * 1e6:8.2f} us   ufile SDK {theirs * 1e6:8.2f} us   ratio {ratio:5.1f}x"
          f"   (goal {goal})")


def bench_signing(number, repeat):
    from ufile import filemanager

    sdk = filemanager.FileManager(PUBLIC_KEY, PRIVATE_KEY)
    client = PeloraFileClient(PUBLIC_KEY, PRIVATE_KEY, BUCKET, http_client=object())
    headers = {"Content-Type": "image/jpeg"}  # the SDK signs no x-ucloud header

    timings = compare(lambda: client._build_auth_header(KEY, "PUT", content_type="image/jpeg", headers=headers),
                      lambda: sdk.authorization("put", BUCKET, KEY, header=dict(headers)), number, number, repeat)
    report("Authorization header of an upload, per request", timings, ">= 4x")
    timings = compare(lambda: client.get_shared_url(KEY), lambda: sdk.private_download_url(BUCKET, KEY, expires=1200),
                      number, number, repeat)
    report("Share URL, per URL", timings, ">= 4x")


def upload_child(path, part_size):
    """One multipart upload in this process; prints its peak resident-set growth as JSON."""
    received = {"bytes": 0, "parts": 0}

    def service(request):
        if "uploads" in request.url.params:
            return httpx.Response(200, json={"UploadId": "u", "BlkSize": part_size})
        if "partNumber" in request.url.params:
            received["bytes"] += len(request.read())
            received["parts"] += 1
            return httpx.Response(200, headers={"ETag": f'"e{received["parts"]}"'})
        return httpx.Response(200, json={"FileSize": received["bytes"]})

    transport = httpx.MockTransport(service)
    client = PeloraFileClient(PUBLIC_KEY, PRIVATE_KEY, BUCKET, http_client=httpx.Client(transport=transport))
    sys.stdout = open(os.devnull, "w")  # the request primitive prints one line per request
    gc.collect()
    if not reset_peak():
        print("cannot reset the peak RSS", file=sys.stderr)
    base = memory_status()[0]
    result = client.multipart_upload("big.bin", path)
    peak = memory_status()[1]
    sys.stdout = sys.__stdout__
    print(json.dumps({"growth": peak - base, "bytes": received["bytes"], "parts": len(result["etags"])}))


def bench_upload_memory(size_mib, part_size):
    with tempfile.TemporaryDirectory() as directory:
        path = os.path.join(directory, "source.bin")
        with open(path, "wb") as f:
            for _ in range(size_mib):
                f.write(os.urandom(MIB))
        out = subprocess.run([sys.executable, __file__, "--child", path, "--part-size", str(part_size)],
                             check=True, capture_output=True, text=True).stdout
    result = json.loads(out)
    assert result["bytes"] == size_mib * MIB
    print(f"Multipart upload of a {size_mib} MiB file in {result['parts']} parts of {part_size // MIB} MiB\n"
          f"  peak resident-set growth {result['growth'] / MIB:6.1f} MiB"
          f"   ({result['growth'] / part_size:4.1f} parts; goal: near two)")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--upload-mib", type=int, default=256)
    parser.add_argument("--part-size", type=int, default=4 * MIB)
    parser.add_argument("--child")
    args = parser.parse_args()
    if args.child:
        return upload_child(args.child, args.part_size)
    number, repeat = (2000, 5) if args.quick else (20000, 9)
    bench_signing(number, repeat)
    bench_upload_memory(args.upload_mib, args.part_size)


if __name__ == "__main__":
    main()
