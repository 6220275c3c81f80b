"""Operations answering with a plain value: uploads of a file and with retries, the content of an
object, the existence test and the deletion."""

import io

import httpx
import pytest


def test_upload_file_guesses_the_type(make, recorder, tmp_path):
    for name, given, sent in [("p.jpg", None, "image/jpeg"), ("p.jpg", "", None), ("p.unknownext", None, None),
                              ("p.jpg", "text/x", "text/x")]:
        path = tmp_path / name
        path.write_bytes(b"img")
        assert make().upload_file("k", str(path), given) is True
        assert recorder.last.header("Content-Type") == sent and recorder.last.body == b"img"


def test_upload_file_failures(make, recorder, tmp_path):
    with pytest.raises(FileNotFoundError) as excinfo:
        make().upload_file("k", str(tmp_path))
    assert excinfo.value.args == (f"文件不存在: {tmp_path}",)
    assert recorder.sent == []
    (tmp_path / "f").write_bytes(b"x")
    recorder.respond(httpx.Response(403))
    assert make().upload_file("k", str(tmp_path / "f")) is False


@pytest.mark.parametrize("answers, retries, result, attempts", [
    ([500, 500, 200], 3, True, 3),
    ([500, 500, 200], 2, False, 2),
    ([201, 200], 3, True, 2),
    ([], 0, False, 0),
    ([], -1, False, 0),
    ([], -10**30, False, 0),
    ([500, 200], 10**30, True, 2),
    ([httpx.ConnectError("down")] * 3, 3.9, False, 3),
])
def test_upload_with_retry(answers, retries, result, attempts, make, recorder):
    def answer(code):
        if isinstance(code, Exception):
            def fail(request):
                raise code
            return fail
        return httpx.Response(code)
    recorder.respond(*map(answer, answers))
    reads = []

    class Source(io.BytesIO):
        def read(self, *args):
            reads.append(args)
            return super().read(*args)

    assert make().upload_with_retry("k", Source(b"body"), retries=retries) is result
    assert len(recorder.sent) == attempts and all(s.body == b"body" for s in recorder.sent)
    assert reads == [()]


def test_upload_with_retry_lets_an_interrupt_through(make, recorder):
    def interrupt(request):
        raise KeyboardInterrupt
    recorder.respond(interrupt)
    with pytest.raises(KeyboardInterrupt):
        make().upload_with_retry("k", b"x")
    assert len(recorder.sent) == 1


def test_get_content(make, recorder):
    recorder.respond(httpx.Response(200, content="é".encode()), httpx.Response(200, content=b"\xe9"),
                     httpx.Response(404, text="missing"))
    client = make()
    assert client.get_content("k", as_text=1) == "é"
    assert client.get_content("k", encoding="nope") == b"\xe9"
    with pytest.raises(Exception) as excinfo:
        client.get_content("k")
    assert (type(excinfo.value), str(excinfo.value)) == (Exception, "下载失败: 404")


@pytest.mark.parametrize("code, exists, deleted", [(200, True, False), (204, False, True), (404, False, False),
                                                   (403, False, False), (500, False, False)])
def test_exists_and_delete_file(code, exists, deleted, make, recorder):
    recorder.default = lambda request: httpx.Response(code)
    client = make()
    assert (client.is_exists("k"), client.delete_file("k")) == (exists, deleted)
    assert [s.method for s in recorder.sent] == ["HEAD", "DELETE"]
    assert recorder.sent[0].timeout["read"] == 10
