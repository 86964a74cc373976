"""Documentation that runs: every Python block of docs/python.md and of the README's Python
section, and every example in the package's docstrings, run in a scratch copy of the example
after its run; the public API's docstrings in numpydoc sections; the stubs of the compiled core
checked by mypy's stubtest."""

import doctest
import importlib
import inspect
import os
import pkgutil
import re
import subprocess
import sys

import pytest
from conftest import SOURCE

import veltrane

FLAGS = doctest.ELLIPSIS | doctest.NORMALIZE_WHITESPACE
FENCE = re.compile(r"^```(\w*)\n(.*?)^```\n", re.S | re.M)


def blocks(text):
    """(language, line, code) of every fenced block."""
    return [(m.group(1), text.count("\n", 0, m.start()) + 2, m.group(2)) for m in FENCE.finditer(text)]


def run_blocks(found, where, cwd, monkeypatch):
    """Runs the python blocks (exec) and pycon blocks (doctest, outputs compared) in order, in
    one namespace, in `cwd`; returns how many ran."""
    monkeypatch.chdir(cwd)
    namespace = {"__name__": "__main__"}  # as a script the reader runs
    ran = 0
    for language, line, code in found:
        assert language in ("python", "pycon", "sh", "text"), f"{where}:{line}: a block in {language or 'no language'}"
        if language == "python":
            exec(compile(code, f"{where}:{line}", "exec"), namespace)  # noqa: S102
        elif language == "pycon":
            test = doctest.DocTestParser().get_doctest(code, namespace, where, where, line - 1)
            runner = doctest.DocTestRunner(optionflags=FLAGS)
            runner.run(test, clear_globs=False)
            assert runner.failures == 0, f"{where}:{line}: see the doctest report above"
        else:
            continue
        ran += 1
    return ran


@pytest.fixture()
def scratch(example):
    """The directory holding the scratch examples/ after `veltrane --ecsv grid.in`."""
    return example.parent


def test_every_python_block_of_the_python_guide_runs(scratch, monkeypatch):
    path = os.path.join(SOURCE, "docs", "python.md")
    with open(path, encoding="utf-8") as f:
        found = blocks(f.read())
    assert run_blocks(found, path, scratch, monkeypatch) >= 10


def test_the_readme_s_python_section_runs(scratch, monkeypatch):
    path = os.path.join(SOURCE, "README.md")
    with open(path, encoding="utf-8") as f:
        text = f.read()
    section = text[text.index("\n## Python\n"):]
    section = section[:section.index("\n## ", 5)]
    assert run_blocks(blocks(section), path, scratch, monkeypatch) >= 1


def modules():
    return [m.name for m in pkgutil.iter_modules(veltrane.__path__, "veltrane.") if m.name != "veltrane._core"]


@pytest.mark.parametrize("name", ["veltrane"] + modules())
def test_the_examples_of_the_docstrings_run(scratch, monkeypatch, name):
    monkeypatch.chdir(scratch)
    module = importlib.import_module(name)
    result = doctest.testmod(module, optionflags=FLAGS, report=True)
    assert result.failed == 0
    assert result.attempted > 0 or name.split(".")[-1].startswith("_")


def public_api():
    """(qualified name, object) of every public function, class and method."""
    for name in veltrane.__all__:
        obj = getattr(veltrane, name)
        if inspect.isfunction(obj) or inspect.isclass(obj):
            yield name, obj
        if inspect.isclass(obj) and not issubclass(obj, BaseException):
            for member, f in vars(obj).items():
                if inspect.isfunction(f) and not member.startswith("_"):
                    yield f"{name}.{member}", f


def sections(doc):
    return set(re.findall(r"^\s*(\w[\w ]*)\n\s*-{3,}\s*$", doc or "", re.M))


@pytest.mark.parametrize("name, obj", list(public_api()), ids=[n for n, _ in public_api()])
def test_the_public_api_is_documented_in_numpydoc_sections(name, obj):
    doc = inspect.getdoc(obj)
    assert doc, name
    found = sections(doc)
    if inspect.isclass(obj):
        if issubclass(obj, BaseException):
            return  # exceptions and warnings: prose
        record = hasattr(obj, "_fields") or hasattr(obj, "__dataclass_fields__")
        assert ("Attributes" if record else "Examples") in found, name
        assert record or not inspect.signature(obj).parameters or "Parameters" in found, name
        return
    signature = inspect.signature(obj)
    params = [p for p in signature.parameters if p != "self"]
    assert not params or "Parameters" in found, name
    assert "Returns" in found and "Raises" in found and "Examples" in found, (name, found)
    units = re.findall(r"^(\w+(?:, \w+)*) : .*\n((?:\s{4}.*\n?)+)", doc.split("Parameters")[-1].split("Returns")[0], re.M)
    for names, text in units:
        if re.search(r"\b(wave|lambda_norm|grid)\b", names):
            assert "Å" in text, (name, names)  # wavelengths say their unit


def test_the_stubs_of_the_compiled_core_pass_stubtest():
    pytest.importorskip("mypy.stubtest")
    package = os.path.dirname(os.path.dirname(veltrane.__file__))
    # mypy's cache (the stubs of numpy and the standard library) beside the package: 5 s, not 30.
    env = dict(os.environ, PYTHONPATH=package, MYPY_CACHE_DIR=os.path.join(os.path.dirname(package), "mypy-cache"))
    r = subprocess.run([sys.executable, "-m", "mypy.stubtest", "veltrane._core"], env=env, capture_output=True,
                       text=True, cwd=package)
    assert r.returncode == 0, r.stdout + r.stderr
    assert r.stdout.startswith("Success: no issues found"), r.stdout
