"""A first look at corvault against an S3-compatible server.

    python examples/quickstart.py http://127.0.0.1:9000
"""

import sys

from corvault.dravik import DravikClient


def main(endpoint):
    client = DravikClient("EXAMPLEKEY", "EXAMPLESECRET", "corvault-example", endpoint=endpoint)
    print(f"client for bucket {client.bucket!r} at {client.endpoint} "
          f"(signature {client.signature_version}, {client.addressing_style} addressing)")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "http://127.0.0.1:9000")
