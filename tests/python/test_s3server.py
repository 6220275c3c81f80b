"""The loopback S3 peers that the round-trip tests rely on really are what they claim."""

import boto3
import pytest
from botocore.config import Config
from botocore.exceptions import ClientError


def boto_client(server, secret=None):
    return boto3.client(
        "s3", endpoint_url=server.endpoint, region_name=server.region,
        aws_access_key_id=server.access_key, aws_secret_access_key=secret or server.secret_key,
        config=Config(signature_version="s3v4", s3={"addressing_style": "path"}))


def test_checking_server_accepts_good_and_refuses_bad_signatures(s3_server_checked):
    good = boto_client(s3_server_checked)
    good.create_bucket(Bucket="harness-check")
    good.put_object(Bucket="harness-check", Key="k", Body=b"v")
    assert good.get_object(Bucket="harness-check", Key="k")["Body"].read() == b"v"
    with pytest.raises(ClientError) as info:
        boto_client(s3_server_checked, secret="wrong-secret").get_object(Bucket="harness-check", Key="k")
    assert info.value.response["Error"]["Code"] == "SignatureDoesNotMatch"


def test_plain_server_accepts_any_credentials(s3_server):
    client = boto_client(s3_server, secret="anything")
    client.create_bucket(Bucket="harness-plain")
    assert "harness-plain" in [b["Name"] for b in client.list_buckets()["Buckets"]]
