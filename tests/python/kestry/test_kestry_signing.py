"""OSS Version 4 header signatures and Version 1 share URLs against the vendor's values."""

import pytest

from kestry_values import DEC_16_2023, OSS_DATE
import vectors


@pytest.mark.parametrize("case", vectors.params("sigv4-oss"))
def test_version4_vectors(make, case):
    given = case.input
    client = make(ak=given["access_key"], sk=given["secret_key"], bucket=given["bucket"], region=given["region"])
    headers = dict(given["headers"])
    query = dict(given["query"]) or None
    assert client._sign_request(given["method"], given["key"], headers, query) == case.text("authorization.txt")
    assert headers == dict(given["headers"])  # read, never changed


@pytest.mark.parametrize("case", vectors.params("sigv2-oss", where=lambda c: "now" in c.input))
def test_share_url_vectors(make, frozen_time, case):
    given = case.input
    client = make(ak=given["access_key"], sk=given["secret_key"], bucket=given["bucket"], region=given["region"])
    frozen_time(int(given["now"]) + 0.75)  # the fraction of the second is dropped
    assert client.get_shared_url(given["key"], int(given["expire_time"])) == case.text("url.txt")


def signature(authorization):
    return authorization.rsplit("Signature=", 1)[1]


class TestVersion4Choices:
    BASE = {"x-oss-content-sha256": "UNSIGNED-PAYLOAD"}

    def sign(self, client, headers, key="k", query=None):
        return client._sign_request("GET", key, {**self.BASE, **headers}, query)

    @pytest.mark.parametrize("name", ["x-oss-date", "X-Oss-Date", "X-OSS-DATE", "x-OSS-date"])
    def test_the_date_header_in_any_letter_case_is_the_signed_date(self, make, frozen_time, name):
        client = make()
        expected = self.sign(client, {"x-oss-date": "20240102T030405Z"})
        frozen_time(DEC_16_2023 + 86400 * 40)
        assert self.sign(client, {name: "20240102T030405Z"}) == expected
        assert "/20240102/cn-hangzhou/oss/aliyun_v4_request," in expected

    def test_an_empty_date_header_gives_way_to_the_next_then_to_the_clock(self, make):
        client = make()
        assert "/20240102/" in self.sign(client, {"x-oss-date": "", "X-Oss-Date": "20240102T030405Z"})
        assert f"Credential=ak/{OSS_DATE[:8]}/" in self.sign(client, {"x-oss-date": ""})

    @pytest.mark.parametrize("headers", [
        {"X-Oss-Date": "20200101T000000Z", "x-oss-date": "20240102T030405Z"},
        {"X-OSS-DATE": "20200101T000000Z", "X-Oss-Date": "20240102T030405Z"},
        {"X-OSS-DATE": "20200101T000000Z", "x-oss-date": "20240102T030405Z", "X-Oss-Date": "20210101T000000Z"},
    ])
    def test_of_several_date_spellings_the_lower_then_the_titled_one_wins(self, make, headers):
        assert "/20240102/" in self.sign(make(), headers)

    def test_a_date_that_is_not_text_is_refused(self, make):
        with pytest.raises(TypeError):
            self.sign(make(), {"X-OSS-DATE": 20231216})

    @pytest.mark.parametrize("region, scope", [
        ("oss-cn-hangzhou", "cn-hangzhou"), ("cn-hangzhou", "cn-hangzhou"), ("oss-eu-oss-x", "eu-x"),
        ("eu-oss-x", "eu-oss-x"),
    ])
    def test_signing_region(self, make, region, scope):
        assert f"/{OSS_DATE[:8]}/{scope}/oss/aliyun_v4_request," in self.sign(make(region=region), {})

    def test_only_content_type_md5_and_x_oss_headers_are_signed(self, make):
        client = make()
        signed = {"x-oss-date": OSS_DATE, "Content-Type": "a/b", "content-md5": "m"}
        expected = self.sign(client, signed)
        unsigned = {"Host": "elsewhere", "Date": "x", "Range": "bytes=0-1", "Authorization": "old"}
        assert self.sign(client, {**signed, **unsigned}) == expected
        assert self.sign(client, {**signed, "x-oss-meta-a": "1"}) != expected

    def test_values_are_trimmed_of_python_white_space(self, make):
        client = make()
        assert self.sign(client, {"x-oss-meta-a": "\u3000 v\t"}) == self.sign(client, {"x-oss-meta-a": "v"})

    @pytest.mark.parametrize("headers, error", [
        ({"x-oss-meta-a": 5}, AttributeError),   # int has no strip()
        ({b"x-oss-meta-a": "v"}, TypeError),     # bytes.lower() is not text
        ({7: "v"}, AttributeError),
    ])
    def test_headers_that_are_not_text_fail_as_python_would(self, make, headers, error):
        with pytest.raises(error):
            self.sign(make(), headers)

    def test_a_name_whose_lower_empties_the_mapping_cannot_crash_the_signer(self, make):
        headers = {}

        class Name(str):
            def lower(self):
                headers.clear()
                return str.lower(self)

        headers.update({"x-oss-date": OSS_DATE, Name("x-oss-meta-a"): "v" * 100, "x-oss-meta-b": "w" * 100})
        expected = make()._sign_request("GET", "k", {"x-oss-date": OSS_DATE, "x-oss-meta-a": "v" * 100,
                                                     "x-oss-meta-b": "w" * 100})
        assert make()._sign_request("GET", "k", headers) == expected


class TestShareUrls:
    @pytest.mark.parametrize("kwargs, base", [
        ({}, "https://bucket.oss-cn-hangzhou.aliyuncs.com"),
        ({"internal": True}, "https://bucket.oss-cn-hangzhou.aliyuncs.com"),
        ({"internal": True, "domain_url": ""}, "https://bucket.oss-cn-hangzhou-internal.aliyuncs.com"),
        ({"domain_url": "https://cdn.example.com//"}, "https://cdn.example.com"),
        ({"domain_url": "///"}, ""),
    ])
    def test_base_url(self, make, kwargs, base):
        url = make(**kwargs).get_shared_url("a b")
        assert url.startswith(base + "/a%20b?OSSAccessKeyId=ak&Expires=1702744857&Signature=")

    def test_the_custom_domain_does_not_change_the_signature(self, make):
        plain = make().get_shared_url("k/é", 60)
        on_domain = make(domain_url="https://cdn.example.com").get_shared_url("k/é", 60)
        assert plain.split("?")[1] == on_domain.split("?")[1]

    @pytest.mark.parametrize("expire_time, expires", [(0, "1702743657"), (-60, "1702743597"), (7.9, "1702743664"),
                                                      (True, "1702743658")])
    def test_expiry(self, make, expire_time, expires):
        assert f"&Expires={expires}&" in make().get_shared_url("k", expire_time)

    def test_empty_key(self, make):
        assert make().get_shared_url("").startswith("https://bucket.oss-cn-hangzhou.aliyuncs.com/?OSSAccessKeyId=")
