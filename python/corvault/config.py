"""Settings shared by the clients.

HTTP_CLIENT_CONFIG holds the keyword arguments of the httpx.Client that PeloraFileClient creates
when it is given none of its own (it writes its `verify` setting into it first); the other clients
create a plain httpx.Client and never read it. Its time-out applies to the requests sent without a
`timeout` keyword, which a client with no `default_timeout` sends from the pelora operations the
README names: `_download`, `delete`, `delete_file`, `get_content`, the multipart steps and
uploads, and `download` of an object under 5 GiB without `chunk_size`. The other operations pass
a time-out of their own, None (no limit) included. REGION_ENDPOINTS maps a region code to the
service hosts of that region. Both are plain dicts: change them before creating clients.
"""

HTTP_CLIENT_CONFIG = {
    "timeout": 60.0,
    "follow_redirects": False,
    "verify": True,
}

# Kodo regions: management ("rs"), listing ("rsf"), upload ("up") and download ("io") hosts, and
# the host of the S3-compatible interface ("dravik_domain"), whose second label is the region
# name that interface signs with.
REGION_ENDPOINTS = {
    region: {
        "rs": f"rs-{region}.qiniuapi.com",
        "rsf": f"rsf-{region}.qiniuapi.com",
        "up": f"up-{region}.qiniup.com",
        "io": f"iovip-{region}.qiniuio.com",
        "dravik_domain": f"s3.{name}.qiniucs.com",
    }
    for region, name in (
        ("z0", "cn-east-1"),
        ("z1", "cn-north-1"),
        ("z2", "cn-south-1"),
        ("na0", "us-north-1"),
        ("as0", "ap-southeast-1"),
    )
}
