"""Input a careless or hostile caller hands the client: credentials that cannot be encoded, and
mappings and values that change under the signer while it reads them."""

import traceback

import pytest

from corvault.dravik import DravikClient

SECRET = "TOPSECRET-\ud800-value"


def formatted(exc):
    return "".join(traceback.format_exception(exc)) + repr(exc.args)


class TestUnencodableCredentials:
    @pytest.mark.parametrize("attribute", ["secret_key", "access_key"])
    @pytest.mark.parametrize("operation", [
        lambda c: c._sign_request("GET", "k", {}),
        lambda c: c._sign_request_v2("GET", "k", {}),
        lambda c: c._presign_url("GET", "k", 60),
        lambda c: c.get_shared_url("k", 60),
    ])
    def test_error_names_the_attribute_and_not_its_value(self, attribute, operation):
        client = DravikClient("AK", "SK", "bkt", http_client=object())
        setattr(client, attribute, SECRET)
        with pytest.raises(ValueError, match=f"'{attribute}' cannot be encoded as UTF-8") as info:
            operation(client)
        assert "TOPSECRET" not in formatted(info.value)
        assert info.value.__context__ is None and info.value.__cause__ is None
