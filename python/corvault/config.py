"""Settings shared by the clients.

HTTP_CLIENT_CONFIG holds the keyword arguments of the httpx.Client that a client creates when it
is given none of its own. REGION_ENDPOINTS maps a region code to the service hosts of that region.
Both are plain dicts: change them before creating clients.
"""

HTTP_CLIENT_CONFIG = {
    "timeout": 60.0,
    "follow_redirects": False,
    "verify": True,
}

REGION_ENDPOINTS = {}
