#!/usr/bin/python3
"""The package installed as Python users install it, offline: from the source distribution
(what `python3 -m build --sdist` packs by MANIFEST.in), once by `pip install
--no-build-isolation --no-index` in a fresh venv (--system-site-packages, for Debian's numpy,
setuptools and pybind11) and once as the wheel of `python3 -m build --wheel --no-isolation`
installed into another fresh venv. Each installed copy must import from its venv, carry the
version `veltrane --version` prints, and pass the Python tests.

Usage: install_test.py MODULE_DIR VELTRANE_BINARY SOURCE_DIR WORK_DIR

WORK_DIR is emptied and used for everything (under the build directory, so ccache finds the
objects of an earlier run). Exit status 77 (skipped, with the reason) when the module is not
built here (MODULE_DIR "NONE") or venv, ensurepip or build are missing and cannot be
installed (Debian's python3-venv and python3-build, as root with apt-get).
"""

import glob
import os
import shutil
import subprocess
import sys
import tarfile


def skip(reason):
    print(f"skipped: {reason}")
    sys.exit(77)


def run(args, what, **kw):
    """Runs args; on failure prints what was being done and the end of the output, exits 1."""
    print(f"-- {what}", flush=True)
    r = subprocess.run(args, capture_output=True, text=True, **kw)
    if r.returncode != 0:
        print(f"FAILED ({r.returncode}): {' '.join(map(str, args))}\n{(r.stdout + r.stderr)[-6000:]}")
        sys.exit(1)
    return r.stdout


def tools_ready():
    ok = subprocess.run([sys.executable, "-c", "import ensurepip, venv, build"], capture_output=True).returncode == 0
    if ok or os.geteuid() != 0 or shutil.which("apt-get") is None:
        return ok
    quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["apt-get", "update", "-qq"], **quiet)
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    subprocess.run(["apt-get", "install", "-y", "-qq", "python3-venv", "python3-build"], env=env, **quiet)
    return subprocess.run([sys.executable, "-c", "import ensurepip, venv, build"], capture_output=True).returncode == 0


def build_env(work):
    """The environment of the builds: no PYTHONPATH (nothing from the build tree), ccache
    when there is one, two jobs."""
    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    env["CMAKE_BUILD_PARALLEL_LEVEL"] = "2"
    if shutil.which("ccache"):
        env["CMAKE_ARGS"] = "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
    env["VELTRANE_CMAKE_BUILD_DIR"] = os.path.join(work, "src", "build-wheel")
    return env


def source_distribution(source, work, env):
    """The sdist of the source tree, unpacked into WORK/src."""
    meta = dict(env, VELTRANE_CMAKE_BUILD_DIR=os.path.join(work, "sdist-build"))
    run([sys.executable, "-m", "build", "--sdist", "--no-isolation", "--outdir", os.path.join(work, "dist"), source],
        "source distribution", env=meta)
    (sdist,) = glob.glob(os.path.join(work, "dist", "veltrane-*.tar.gz"))
    with tarfile.open(sdist) as tar:
        tar.extractall(work)
    os.rename(os.path.join(work, os.path.basename(sdist)[:-len(".tar.gz")]), os.path.join(work, "src"))


def check_installed(venv, binary, source, work, env):
    """The venv's veltrane: from its site-packages, with the command line's version, and the
    Python tests passing against it."""
    python = os.path.join(venv, "bin", "python")
    out = run([python, "-c", "import importlib.metadata as m, veltrane; "
                             "print(veltrane.__file__, veltrane.__version__, m.version('veltrane'))"],
              f"import veltrane in {os.path.basename(venv)}", cwd=work, env=env).split()
    version = run([binary, "--version"], "veltrane --version").split()[1]
    if not out[0].startswith(os.path.join(venv, "lib")) or out[1:] != [version, version]:
        print(f"FAILED: {venv} imports {out[0]} version {out[1:]}, the command line is {version}")
        sys.exit(1)
    tests = sorted(glob.glob(os.path.join(source, "tests", "python", "test_*.py")))
    test_env = dict(env, VELTRANE_BINARY=binary, VELTRANE_SOURCE=source)
    report = run([python, "-m", "pytest", "-q", "-p", "no:cacheprovider", "-W",
                  "error::pytest.PytestUnraisableExceptionWarning", "--rootdir", os.path.join(source, "tests", "python"),
                  *tests], f"the Python tests against {os.path.basename(venv)}", cwd=work, env=test_env)
    print("   ", report.strip().splitlines()[-1])


def main():
    module_dir, binary, source, work = sys.argv[1:5]
    if module_dir == "NONE":
        skip("the Python module is not built here (pybind11 not found)")
    if not tools_ready():
        skip("python3 -m venv (ensurepip) or python3 -m build is missing (Debian: python3-venv, python3-build)")
    binary, source, work = (os.path.abspath(p) for p in (binary, source, work))
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    env = build_env(work)
    source_distribution(source, work, env)
    src = os.path.join(work, "src")

    pip_venv = os.path.join(work, "venv-pip")
    run([sys.executable, "-m", "venv", "--system-site-packages", pip_venv], "venv for pip install .")
    run([os.path.join(pip_venv, "bin", "python"), "-m", "pip", "install", "--no-build-isolation", "--no-index",
         "--no-cache-dir", src], "pip install --no-build-isolation .", env=env)
    check_installed(pip_venv, binary, source, work, env)

    run([sys.executable, "-m", "build", "--wheel", "--no-isolation", "--outdir", os.path.join(work, "dist"), src],
        "python3 -m build --wheel --no-isolation", env=env)
    (wheel,) = glob.glob(os.path.join(work, "dist", "veltrane-*.whl"))
    wheel_venv = os.path.join(work, "venv-wheel")
    run([sys.executable, "-m", "venv", "--system-site-packages", wheel_venv], "venv for the wheel")
    run([os.path.join(wheel_venv, "bin", "python"), "-m", "pip", "install", "--no-index", "--no-cache-dir", wheel],
        f"pip install {os.path.basename(wheel)}", env=env)
    check_installed(wheel_venv, binary, source, work, env)
    shutil.rmtree(work, ignore_errors=True)
    print("both routes import veltrane, carry its version and pass the Python tests")


if __name__ == "__main__":
    main()
