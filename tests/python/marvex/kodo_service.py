"""A loopback stand-in of Kodo's upload host for block uploads, as an httpx MockTransport.

It checks what the service checks: the upload token's form, each block's declared and actual
length, that every block but the last is exactly 4 MiB, and that the assembly names the blocks'
contexts in order with the total size. It keeps the assembled objects.
"""

import base64
import json
import zlib

import httpx

BLOCK = 4 * 1024 * 1024


class KodoUploadService:
    def __init__(self):
        self.blocks = {}      # ctx -> bytes
        self.objects = {}     # key -> bytes
        self.requests = []    # (path, headers, body length)
        self.client = httpx.Client(transport=httpx.MockTransport(self.handle))

    def handle(self, request):
        body = request.read()
        path = request.url.path
        self.requests.append((path, dict(request.headers), len(body)))
        if not request.headers.get("authorization", "").startswith("UpToken "):
            return httpx.Response(401, json={"error": "bad token"})
        parts = path.strip("/").split("/")
        if parts[0] == "mkblk":
            declared = int(parts[1])
            if declared != len(body) or int(request.headers["content-length"]) != len(body) or declared > BLOCK:
                return httpx.Response(400, json={"error": "block length"})
            ctx = f"ctx{len(self.blocks)}-{zlib.crc32(body):08x}"
            self.blocks[ctx] = body
            return httpx.Response(200, json={"ctx": ctx, "crc32": zlib.crc32(body), "offset": len(body)})
        if parts[0] == "mkfile" and parts[2] == "key":
            size, key = int(parts[1]), base64.urlsafe_b64decode(parts[3]).decode()
            ctxs = body.decode().split(",") if body else []
            if any(ctx not in self.blocks for ctx in ctxs):
                return httpx.Response(400, json={"error": "unknown ctx"})
            lengths = [len(self.blocks[ctx]) for ctx in ctxs]
            if any(length != BLOCK for length in lengths[:-1]) or sum(lengths) != size:
                return httpx.Response(400, json={"error": "block sizes"})
            self.objects[key] = b"".join(self.blocks[ctx] for ctx in ctxs)
            return httpx.Response(200, content=json.dumps({"key": key, "fsize": size}).encode())
        return httpx.Response(404)
