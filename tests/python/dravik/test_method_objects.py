"""The client classes' method objects and argument rules, exercised through DravikClient.

Argument binding is compared with a pure-Python function of the same signature, so the
interpreter itself supplies the expected TypeError texts.
"""

import importlib.util
import inspect
import itertools
import pydoc
import sys
import types

import pytest

import corvault.base
import corvault.dravik as dravik
from corvault.dravik import DravikClient

# The operations of the class, in the order the class defines them.
DRAVIK_OPERATIONS = [
    "__init__", "_get_aws_endpoint", "_sign_request", "_sign_request_v2", "_presign_url", "_request",
    "get_path_url", "get_shared_url", "upload", "_download", "head", "delete", "list", "initiate_multipart_upload",
    "upload_part", "finish_multipart_upload", "abort_multipart_upload", "multipart_download", "_bucket_request",
    "create_bucket", "delete_bucket", "bucket_exists", "list_buckets", "copy_object", "get_bucket_stats",
    "delete_objects", "delete_by_prefix"]


def python_twin(method):
    """A plain Python function with the same name, parameters and defaults as `method`."""
    params, namespace = [], {}
    for i, p in enumerate(inspect.signature(method).parameters.values()):
        if p.kind is p.VAR_KEYWORD:
            params.append("**" + p.name)
        elif p.default is p.empty:
            params.append(p.name)
        else:
            namespace[f"_d{i}"] = p.default
            params.append(f"{p.name}=_d{i}")
    exec(f"def {method.__name__}({', '.join(params)}): pass", namespace)
    twin = namespace[method.__name__]
    twin.__qualname__ = method.__qualname__
    return twin


def binding_error(func, args, kwargs):
    try:
        func(*args, **kwargs)
    except TypeError as exc:
        return str(exc)
    return None


KEYWORD_NAMES = ["self", "access_key", "secret_key", "bucket", "region", "timeout", "addressing_style",
                 "regoin", "acess_key", "Bucket", "secretkey", "timeot", "endpiont", "http_clinet", "zzz"]


@pytest.mark.parametrize("npos", range(0, 15))
def test_binding_errors_match_the_interpreter(npos):
    method = DravikClient.__dict__["__init__"]
    twin = python_twin(method)
    self_obj = object.__new__(DravikClient)
    checked = 0
    for nkw in range(0, 3):
        for names in itertools.combinations(KEYWORD_NAMES, nkw):
            args = [self_obj] + ["x"] * max(0, npos - 1) if npos else []
            kwargs = {name: "x" for name in names}
            if "self" in kwargs:
                kwargs["self"] = self_obj
            expected = binding_error(twin, args, kwargs)
            actual = binding_error(method, args, kwargs) if expected else None
            if expected is None:
                continue  # a valid binding: the twin has nothing to say
            assert actual == expected, (args, kwargs)
            checked += 1
    assert checked > 0


def test_unbound_and_keyword_self_calls_bind_like_functions():
    obj = object.__new__(DravikClient)
    DravikClient.__init__(self=obj, access_key="a", secret_key="s", bucket="b")
    assert obj.bucket == "b"
    with pytest.raises(TypeError) as info:
        DravikClient._get_aws_endpoint()
    assert str(info.value) == ("DravikClient._get_aws_endpoint() missing 2 required positional arguments: "
                               "'self' and 'region'")


class TextSubclass(str):
    pass


@pytest.mark.parametrize("kwargs, message", [
    ({"bucket": None}, "Argument 'bucket' has incorrect type (expected str, got NoneType)"),
    ({"bucket": TextSubclass("b")}, "Argument 'bucket' has incorrect type (expected str, got TextSubclass)"),
    ({"access_key": b"ak"}, "Argument 'access_key' has incorrect type (expected str, got bytes)"),
    ({"region": 1}, "Argument 'region' has incorrect type (expected str, got int)"),
    ({"endpoint": b"http://h"}, "Argument 'endpoint' has incorrect type (expected str, got bytes)"),
    ({"domain_url": 5}, "Argument 'domain_url' has incorrect type (expected str, got int)"),
    ({"signature_version": None}, "Argument 'signature_version' has incorrect type (expected str, got NoneType)"),
    # the first refused argument in declaration order is the one reported
    ({"addressing_style": 1, "secret_key": 2}, "Argument 'secret_key' has incorrect type (expected str, got int)"),
])
def test_declared_types_are_enforced_before_anything_is_set(kwargs, message):
    obj = object.__new__(DravikClient)
    arguments = {"access_key": "ak", "secret_key": "sk", "bucket": "b", **kwargs}
    with pytest.raises(TypeError) as info:
        obj.__init__(**arguments)
    assert str(info.value) == message
    assert vars(obj) == {}


@pytest.mark.parametrize("value, stored", [([], False), ("no", True), (0.0, False), (2, True), (None, False)])
def test_bool_parameters_take_any_value_by_truth(value, stored):
    client = DravikClient("a", "s", "b", internal=value, http_client=object())
    assert client.internal is stored


def test_untested_parameters_pass_unchanged():
    timeout, http = ("connect", object()), object()
    client = DravikClient("a", "s", "b", timeout=timeout, http_client=http)
    assert client.default_timeout is timeout and client._client is http


def test_truth_value_errors_propagate():
    class Undecided:
        def __bool__(self):
            raise RuntimeError("no truth")

    with pytest.raises(RuntimeError, match="no truth"):
        DravikClient("a", "s", "b", internal=Undecided())


class TestMethodObject:
    def test_binds_like_a_function(self):
        raw = DravikClient.__dict__["_get_aws_endpoint"]
        assert DravikClient._get_aws_endpoint is raw
        assert raw.__get__(None, DravikClient) is raw
        client = DravikClient("a", "s", "b", http_client=object())
        bound = client._get_aws_endpoint
        assert isinstance(bound, types.MethodType)
        assert bound.__self__ is client and bound.__func__ is raw
        assert bound("eu-west-1") == raw(client, "eu-west-1") == "https://s3.eu-west-1.amazonaws.com"

    def test_names_and_documentation(self):
        method = DravikClient._get_aws_endpoint
        assert method.__name__ == "_get_aws_endpoint"
        assert method.__qualname__ == "DravikClient._get_aws_endpoint"
        assert method.__module__ == "corvault.dravik"
        assert method.__doc__ and "endpoint" in method.__doc__
        assert repr(method).startswith("<function DravikClient._get_aws_endpoint at ")

    def test_annotations_hold_declared_types_as_text(self):
        assert DravikClient._get_aws_endpoint.__annotations__ == {
            "region": "str", "internal": "bool", "return": "str"}
        assert DravikClient.__init__.__annotations__ == {
            "access_key": "str", "secret_key": "str", "bucket": "str", "region": "str", "internal": "bool",
            "endpoint": "Optional[str]", "domain_url": "Optional[str]",
            "timeout": "Optional[Union[float, tuple]]", "http_client": "Optional[httpx.Client]",
            "signature_version": "str", "addressing_style": "str", "return": "None"}

    def test_signature_shows_parameters_and_defaults(self):
        sig = inspect.signature(DravikClient.__init__)
        assert list(sig.parameters) == ["self", "access_key", "secret_key", "bucket", "region", "internal",
                                        "endpoint", "domain_url", "timeout", "http_client",
                                        "signature_version", "addressing_style"]
        defaults = {name: p.default for name, p in sig.parameters.items() if p.default is not p.empty}
        assert defaults == {"region": "us-east-1", "internal": False, "endpoint": None, "domain_url": None,
                            "timeout": None, "http_client": None, "signature_version": "v4",
                            "addressing_style": "path"}
        assert all(p.kind is p.POSITIONAL_OR_KEYWORD for p in sig.parameters.values())
        client = DravikClient("a", "s", "b", http_client=object())
        assert str(inspect.signature(client._get_aws_endpoint)) == \
            "(region: 'str', internal: 'bool' = False) -> 'str'"
        assert list(inspect.signature(DravikClient).parameters)[:3] == ["access_key", "secret_key", "bucket"]

    def test_help_lists_methods_with_signatures(self):
        text = pydoc.render_doc(DravikClient, renderer=pydoc.plaintext)
        assert "Methods defined here:" in text
        section = text[text.index("Methods defined here:"):]
        assert "__init__(" in section and "internal: " in section and "= False" in section
        assert "addressing_style: " in section and "'path'" in section
        assert DravikClient.__init__.__doc__.splitlines()[0] in section

    def test_not_instantiable_and_read_only(self):
        method_type = type(DravikClient._get_aws_endpoint)
        with pytest.raises(TypeError):
            method_type()
        with pytest.raises(AttributeError):
            DravikClient._get_aws_endpoint.__name__ = "other"


class TestClass:
    def test_ordinary_class_created_through_the_base(self):
        assert DravikClient.__module__ == "corvault.dravik"
        assert DravikClient.__qualname__ == "DravikClient"
        assert DravikClient.__bases__ == (corvault.base.BaseStorageClient,)
        assert type(DravikClient) is type(corvault.base.BaseStorageClient)
        assert DravikClient.__doc__

    def test_defines_its_operations_in_order_and_no_class_attributes(self):
        own = [name for name in vars(DravikClient)
               if not (name.startswith("__") and name.endswith("__")) or name == "__init__"]
        assert own == DRAVIK_OPERATIONS
        for name in own:
            assert callable(vars(DravikClient)[name]) and hasattr(vars(DravikClient)[name], "__get__")

    def test_module_namespace_binds_its_imports(self):
        import httpx
        assert dravik.httpx is httpx
        assert dravik.BaseStorageClient is corvault.base.BaseStorageClient


def fresh_dravik():
    """Runs the module body again, as a first import would, into a new module object."""
    spec = importlib.util.find_spec("corvault.dravik")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


class TestModuleImport:
    def test_class_is_made_by_the_metaclass_of_the_base(self, monkeypatch):
        seen = {}

        class Meta(type):
            @classmethod
            def __prepare__(mcs, name, bases):
                seen["prepared"] = name
                return {}

            def __new__(mcs, name, bases, namespace):
                seen["namespace"] = list(namespace)
                return super().__new__(mcs, name, bases, namespace)

        class Base(metaclass=Meta):
            pass

        monkeypatch.setattr(corvault.base, "BaseStorageClient", Base)
        module = fresh_dravik()
        assert type(module.DravikClient) is Meta and module.DravikClient.__bases__ == (Base,)
        assert seen["prepared"] == "DravikClient"
        assert seen["namespace"] == ["__module__", "__qualname__", "__doc__"] + DRAVIK_OPERATIONS

    def test_failed_import_of_httpx_fails_the_module(self, monkeypatch):
        monkeypatch.setitem(sys.modules, "httpx", None)
        with pytest.raises(ImportError):
            fresh_dravik()

    def test_missing_base_class_fails_the_module(self, monkeypatch):
        monkeypatch.delattr(corvault.base, "BaseStorageClient")
        with pytest.raises(ImportError, match="cannot import name 'BaseStorageClient'"):
            fresh_dravik()

    def test_httpx_is_read_from_the_module_namespace_at_call_time(self, monkeypatch):
        class FakeHttpx:
            class Client:
                pass

        monkeypatch.setattr(dravik, "httpx", FakeHttpx)
        assert isinstance(DravikClient("a", "s", "b")._client, FakeHttpx.Client)
        monkeypatch.delattr(dravik, "httpx")
        with pytest.raises(NameError, match="name 'httpx' is not defined"):
            DravikClient("a", "s", "b")
