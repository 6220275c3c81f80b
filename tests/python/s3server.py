"""A real S3-compatible server on loopback for tests, backed by moto's server mode.

Two flavours:
  * S3Server(check_signatures=False): any credentials are accepted.
  * S3Server(check_signatures=True): Signature V4 is verified. The first three
    requests are left unchecked (INITIAL_NO_AUTH_ACTION_COUNT=3) and are spent
    creating an IAM user with an allow-all policy; its key pair becomes
    access_key/secret_key.

The server log (request lines, tracebacks of 500s) lives at S3Server.log_path;
it is deleted on stop() unless CORVAULT_KEEP_S3_LOG is set or start() failed.
"""

import json
import os
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

import pytest

_ALLOW_ALL = json.dumps({
    "Version": "2012-10-17",
    "Statement": [{"Effect": "Allow", "Action": "*", "Resource": "*"}],
})


# The server reads any Authorization value as a V4 credential scope when it splits into five parts
# at "/"; a V2 value "AWS key:signature" whose signature holds exactly four "/" then names no
# service, and the request fails with 500. A key with five "/" of its own never splits so: use it
# for Signature V2 on the server that does not check signatures.
V2_ACCESS_KEY = "corvault/v2/test/key/with/slashes"


def _free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class S3Server:
    region = "us-east-1"

    def __init__(self, check_signatures=False):
        self.check_signatures = check_signatures
        self.access_key = "corvault-test-key"
        self.secret_key = "corvault-test-secret"
        self.endpoint = None
        self.port = None
        self.log_path = None
        self._proc = None

    def log_tail(self, n=40):
        """Last lines of the server log (request lines and tracebacks)."""
        try:
            with open(self.log_path, errors="replace") as f:
                return "".join(f.readlines()[-n:])
        except OSError:
            return ""

    def start(self, timeout=30.0):
        env = dict(os.environ)
        env.pop("INITIAL_NO_AUTH_ACTION_COUNT", None)
        if self.check_signatures:
            env["INITIAL_NO_AUTH_ACTION_COUNT"] = "3"
        self.port = _free_port()
        self.endpoint = f"http://127.0.0.1:{self.port}"
        fd, self.log_path = tempfile.mkstemp(prefix="corvault-moto-", suffix=".log")
        with os.fdopen(fd, "wb") as log:
            self._proc = subprocess.Popen(
                [sys.executable, "-m", "moto.server", "-H", "127.0.0.1", "-p", str(self.port)],
                stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT, env=env,
            )
        opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
        deadline = time.monotonic() + timeout
        while True:
            if self._proc.poll() is not None:
                self._fail(f"moto server exited with code {self._proc.returncode}")
            try:
                # /moto-api/config does not count towards the unchecked requests.
                with opener.open(self.endpoint + "/moto-api/config", timeout=2):
                    break
            except (urllib.error.URLError, OSError):
                pass
            if time.monotonic() > deadline:
                self._fail(f"moto server did not answer on {self.endpoint} within {timeout:g} s")
            time.sleep(0.1)
        if self.check_signatures:
            try:
                self._create_user()
            except Exception as e:
                self._fail(f"creating the IAM test user failed: {e!r}")
        return self

    def _fail(self, message):
        self.stop(keep_log=True)
        raise RuntimeError(f"{message}; log {self.log_path}:\n{self.log_tail()}")

    def _create_user(self):
        import boto3

        iam = boto3.client(
            "iam", endpoint_url=self.endpoint, region_name=self.region,
            aws_access_key_id="bootstrap", aws_secret_access_key="bootstrap",
        )
        iam.create_user(UserName="corvault")
        key = iam.create_access_key(UserName="corvault")["AccessKey"]
        iam.put_user_policy(UserName="corvault", PolicyName="all", PolicyDocument=_ALLOW_ALL)
        self.access_key = key["AccessKeyId"]
        self.secret_key = key["SecretAccessKey"]

    def stop(self, keep_log=False):
        proc, self._proc = self._proc, None
        if proc is not None and proc.poll() is None:
            proc.terminate()
            try:
                proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
        if self.log_path and not keep_log and not os.environ.get("CORVAULT_KEEP_S3_LOG"):
            try:
                os.unlink(self.log_path)
            except OSError:
                pass

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


@pytest.fixture(scope="session")
def s3_server():
    """moto S3 server that accepts any credentials."""
    with S3Server(check_signatures=False) as server:
        yield server


@pytest.fixture(scope="session")
def s3_server_checked():
    """moto S3 server that verifies Signature V4 against an IAM user's key pair."""
    with S3Server(check_signatures=True) as server:
        yield server
