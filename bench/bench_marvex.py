"""MarvexKodoClient: the upload token and the private download link against the vendor SDK's
Auth, get_shared_url with and without dot segments in the key, and the peak memory of a large
file upload in blocks.

    PYTHONPATH=<site-packages holding qiniu> python bench/bench_marvex.py [--quick] [--upload-mib N]

The SDK (`qiniu` on PyPI) is a reference only, kept out of the library's environments: install it
into a scratch environment and put that environment's site-packages on PYTHONPATH. Without it,
only the upload is measured.
"""

import argparse
import gc
import os
import sys
import tempfile
import time

import httpx

from benchlib import compare, memory_status, reset_peak
from corvault.marvex import MarvexKodoClient

ACCESS_KEY, SECRET_KEY, BUCKET = "MY_ACCESS_KEY", "MY_SECRET_KEY", "photos"
KEY = "albums/2024/holiday at the sea.jpg"
URL = "https://cdn.example.com/albums/2024/holiday%20at%20the%20sea.jpg"
MIB = 1024 * 1024


def report(title, timings, goal=5):
    ours, theirs, ratio = timings
    print(f"{title}\n  corvault {ours * 1e6:8.2f} us   qiniu.Auth {theirs * 1e6:8.2f} us   ratio {ratio:5.1f}x"
          f"   (goal >= {goal}x: {'met' if ratio >= goal else 'MISSED'})")
    return ratio


def bench_tokens(number, repeat):
    try:
        import qiniu
    except ImportError:
        print("qiniu not importable: token benchmarks skipped (see the module documentation)")
        return
    auth = qiniu.Auth(ACCESS_KEY, SECRET_KEY)
    client = MarvexKodoClient(ACCESS_KEY, SECRET_KEY, BUCKET, http_client=object())
    # Same values first: the two sides must build the same token and link in the same second.
    assert client._upload_token(KEY) == auth.upload_token(BUCKET, KEY, 3600)
    assert client._download_token(URL, 3600) == auth.private_download_url(URL, 3600)
    report("upload token (scope bucket:key, deadline now + 3600)",
           compare(lambda: client._upload_token(KEY), lambda: auth.upload_token(BUCKET, KEY, 3600), number, number, repeat))
    report("private download link (deadline now + 3600)",
           compare(lambda: client._download_token(URL, 3600), lambda: auth.private_download_url(URL, 3600),
                   number, number, repeat))


def bench_shared_url(number, repeat):
    """get_shared_url on a custom domain (a private download link) for a key without dot segments,
    which should cost what building the link cost before those segments were escaped, and for one
    with a ".." segment, which pays for the escaping."""
    client = MarvexKodoClient(ACCESS_KEY, SECRET_KEY, BUCKET, domain_url="https://cdn.example.com",
                              http_client=object())
    plain, dotted = KEY, "albums/../" + KEY
    ours, theirs, ratio = compare(lambda: client.get_shared_url(plain, 3600),
                                  lambda: client.get_shared_url(dotted, 3600), number, number, repeat)
    print(f"get_shared_url, private link\n  plain key {ours * 1e6:8.3f} us   key with '..' {theirs * 1e6:8.3f} us"
          f"   ratio {ratio:5.2f}x")


def bench_upload(size_mib):
    """A file of `size_mib` MiB uploaded in 4 MiB blocks to a loopback stand-in that keeps only
    the blocks' lengths: the rise of the peak RSS over the RSS before the upload."""
    received = []

    def service(request):
        if request.url.path.startswith("/mkblk/"):
            received.append(len(request.read()))
            return httpx.Response(200, json={"ctx": f"c{len(received)}"})
        return httpx.Response(200, json={"key": KEY})

    client = MarvexKodoClient(ACCESS_KEY, SECRET_KEY, BUCKET,
                              http_client=httpx.Client(transport=httpx.MockTransport(service)))
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "upload.bin")
        with open(path, "wb") as f:
            for _ in range(size_mib):
                f.write(os.urandom(MIB))
        gc.collect()
        if not reset_peak():
            print("cannot reset the peak RSS: the rise includes the set-up", file=sys.stderr)
        base = memory_status()[0]
        start = time.perf_counter()
        client.multipart_upload(KEY, path)
        elapsed = time.perf_counter() - start
        peak = memory_status()[1]
    assert sum(received) == size_mib * MIB
    print(f"multipart_upload of a {size_mib} MiB file ({len(received)} blocks of 4 MiB, loopback stand-in)\n"
          f"  {elapsed:6.2f} s   peak RSS rise {(peak - base) / MIB:6.1f} MiB   (goal: near two blocks, 8 MiB)")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--upload-mib", type=int, default=256)
    args = parser.parse_args()
    number, repeat = (2000, 5) if args.quick else (20000, 9)
    bench_tokens(number, repeat)
    bench_shared_url(number, repeat)
    bench_upload(args.upload_mib)


if __name__ == "__main__":
    main()
