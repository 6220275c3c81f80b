"""A first look at corvault against an S3-compatible server.

    python examples/quickstart.py http://127.0.0.1:9000

Creates a bucket, stores two objects, lists them, fetches one through a pre-signed URL with
plain httpx, downloads the other in ranged parts with progress, and cleans up.
"""

import os
import sys
import tempfile

import httpx

from corvault.dravik import DravikClient


def progress(part, parts, done, total):
    print(f"  part {part + 1}/{parts}: {done}/{total} bytes")


def main(endpoint):
    client = DravikClient("EXAMPLEKEY", "EXAMPLESECRET", "corvault-example", endpoint=endpoint)
    print(f"bucket {client.bucket!r} at {client.endpoint}")
    client.create_bucket()

    blob = os.urandom(3 * 1024 * 1024 + 123)
    print("put:", client.upload("hello.txt", "Hello from corvault!\n", content_type="text/plain").status_code,
          client.upload("data/blob.bin", blob).status_code)

    print("list:")
    for entry in client.list(limit=100)["objects"]:
        print(f"  {entry['key']:<16} {entry['size']:>9} bytes  etag {entry['etag']}")

    url = client.get_shared_url("hello.txt", 300)
    print("get through a pre-signed URL:", repr(httpx.get(url).text))

    print("ranged download of data/blob.bin:")
    with tempfile.TemporaryDirectory() as scratch:
        target = os.path.join(scratch, "blob.bin")
        client.multipart_download("data/blob.bin", target, part_size=1024 * 1024, callback=progress)
        with open(target, "rb") as f:
            print("  identical to what was stored:", f.read() == blob)

    print("deleted:", client.delete_by_prefix(""), "objects; bucket removed:", client.delete_bucket())


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "http://127.0.0.1:9000")
