#!/usr/bin/env bash
# Checks the layout of the C++ files and the sizes of functions and files, builds Veltrane and
# runs every test, first in a normal build, then again under AddressSanitizer +
# UndefinedBehaviorSanitizer, then the runs with several jobs under ThreadSanitizer, then fuzzes
# each fuzz target for a while. In every build a compiler warning is an error.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

# What the build itself needs (cfitsio for the catalogue, GoogleTest for the tests): installed
# when missing, as root, once.
. tools/install_missing.sh
install_missing g++ cmake make pkg-config libcfitsio-dev libgtest-dev || true

# The ECSV and veltrane-plot tests need Debian's python3 with astropy and matplotlib, the
# Python module pybind11 and numpy, its tests pytest, the peers they compare with (synphot,
# extinction), Dask, mypy's stubtest, venv and build for the installs, and nbclient and ipykernel
# for the notebook; without them those tests are skipped, so install them when missing (as root;
# once).
python_packages="python3-astropy python3-matplotlib pybind11-dev python3-numpy python3-pytest python3-synphot python3-extinction
  python3-dask python3-distributed python3-mypy python3-venv python3-build python3-nbclient python3-ipykernel"
if ! /usr/bin/python3 -c 'import astropy, matplotlib, numpy, pytest, synphot, extinction, dask.array, distributed, mypy.stubtest, ensurepip, build, nbclient, ipykernel' 2>/dev/null ||
   [[ ! -f /usr/include/pybind11/pybind11.h ]]; then
  if ! command -v apt-get >/dev/null 2>&1; then
    echo "run_tests.sh: no apt-get to install $python_packages: their tests will be skipped"
  else
    log=$(mktemp)
    # shellcheck disable=SC2086  # the list is split into package names
    if ! { apt-get update -qq && DEBIAN_FRONTEND=noninteractive \
             apt-get install -y -qq $python_packages; } >"$log" 2>&1; then
      echo "run_tests.sh: installing $python_packages failed, their tests will be skipped:"
      tail -n 5 "$log"
    fi
    rm -f "$log"
  fi
fi

# Every C++ file keeps the layout of .clang-format: one that clang-format-14 would change fails
# the run before anything is built (to format them all:
#   find src app tests bench python -name '*.cpp' -o -name '*.h' | xargs clang-format-14 -i).
if ! command -v clang-format-14 >/dev/null 2>&1 && command -v apt-get >/dev/null 2>&1; then
  { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang-format-14; } >/dev/null 2>&1 || true
fi
if command -v clang-format-14 >/dev/null 2>&1; then
  find src app tests bench python \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 clang-format-14 --dry-run --Werror
else
  echo "run_tests.sh: no clang-format-14: the layout check is skipped"
fi
# No function over 80 lines, no file over 500, in C++ and Python (the exceptions are listed in
# tools/function_sizes.py); the run stops on one, naming it.
/usr/bin/python3 tools/function_sizes.py --check

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVELTRANE_TESTS=ON -DVELTRANE_WERROR=ON
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVELTRANE_SANITIZE=ON -DVELTRANE_TESTS=ON -DVELTRANE_WERROR=ON
cmake --build build-asan -j"$jobs"
# Under the sanitizers the golden cases run plain and with two jobs; their literal runs, which
# only prove the fast paths equal to the slow ones, are left to the normal build. The build
# never recovers from a fault (-fno-sanitize-recover=all): the first one ends the process with
# SIGABRT, which no test can mistake for one of veltrane's exit statuses.
ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:abort_on_error=1 \
  VELTRANE_CASE_MODES="plain j2" ctest --test-dir build-asan --output-on-failure -j"$jobs"

# The runs with several jobs under ThreadSanitizer, in a build of veltrane and the driver's
# tests only: the driver's tests (the model loop with two jobs, the staging, the standard
# input) with every golden case run with -j 2, then a catalogue with spectra of 64 galaxies
# made from the example, run with -j 4, whose console, standard error and catalogue must be a
# single thread's. The first data race ends the process with status 66 and its report on
# standard error, which fails either check.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DVELTRANE_TSAN=ON -DVELTRANE_TESTS=ON -DVELTRANE_WERROR=ON \
  -DVELTRANE_PYTHON=OFF
cmake --build build-tsan -j"$jobs" --target veltrane test_driver
export TSAN_OPTIONS=halt_on_error=1:exitcode=66:second_deadlock_stack=1
VELTRANE_CASE_MODES=j2 build-tsan/test_driver --gtest_brief=1
bash tools/jobs_catalog_check.sh build-tsan/veltrane 4
unset TSAN_OPTIONS

# After the corpus replays of both builds, a short libFuzzer run of every fuzz target when
# clang++-14 is there (VELTRANE_FUZZ_SECONDS each, default 30): tools/fuzz.sh builds them in
# build-fuzz/ and fuzzes copies of the corpora there, so nothing is written into tests/. A
# finding fails the run; fuzz.sh prints where it left the input and how to replay it.
if command -v clang++-14 >/dev/null 2>&1; then
  bash tools/fuzz.sh "${VELTRANE_FUZZ_SECONDS:-30}"
else
  echo "run_tests.sh: no clang++-14: the libFuzzer runs are skipped (the corpora were replayed)"
fi
