"""The type stubs describe the module as it is, and the example runs."""

import ast
import os
import pathlib
import subprocess
import sys

import playgraph

STUBS = pathlib.Path(playgraph.__file__).with_name("__init__.pyi")
EXAMPLES = pathlib.Path(os.environ.get("PLAYGRAPH_EXAMPLES", "examples"))


def public_names(body):
    for node in body:
        if isinstance(node, (ast.ClassDef, ast.FunctionDef)):
            name = node.name
        elif isinstance(node, ast.AnnAssign):
            name = node.target.id
        else:
            continue
        if not name.startswith("_") or name in ("__init__", "__enter__", "__exit__"):
            yield name, node


def test_every_stub_name_exists_and_every_public_name_has_a_stub():
    stubs = dict(public_names(ast.parse(STUBS.read_text()).body))
    assert sorted(stubs) == sorted(playgraph.__all__)
    for name, node in stubs.items():
        if not isinstance(node, ast.ClassDef) or name.endswith("Error"):
            continue  # exceptions carry their attributes on instances
        cls = getattr(playgraph, name)
        assert [ast.unparse(base) for base in node.bases] == [b.__name__ for b in cls.__bases__
                                                               if b.__name__ != "pybind11_object"]
        members = dict(public_names(node.body))
        for member in members:
            assert hasattr(cls, member), f"{name}.{member}"
        own = {m for m in vars(cls) if not m.startswith("_")}
        assert own <= set(members), f"{name} lacks stubs for {own - set(members)}"


def test_the_example_runs():
    result = subprocess.run([sys.executable, str(EXAMPLES / "story.py")], capture_output=True,
                            text=True, check=True)
    assert "credits" in result.stdout
