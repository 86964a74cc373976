#!/usr/bin/env bash
# Checks the layout of the C++ files, builds Veltrane and runs every test, first in a normal
# build, then again under AddressSanitizer + UndefinedBehaviorSanitizer, then fuzzes each fuzz
# target for a while. In both builds a compiler warning is an error.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

# What the build itself needs (cfitsio for the catalogue, GoogleTest for the tests): installed
# when missing, as root, once.
. tools/install_missing.sh
install_missing g++ cmake make pkg-config libcfitsio-dev libgtest-dev || true

# The ECSV and veltrane-plot tests need Debian's python3 with astropy and matplotlib, the
# Python module pybind11 and numpy, its tests pytest, the peers they compare with (synphot,
# extinction), Dask, mypy's stubtest, and venv and build for the installs; without them those
# tests are skipped, so install them when missing (as root; once).
python_packages="python3-astropy python3-matplotlib pybind11-dev python3-numpy python3-pytest python3-synphot python3-extinction
  python3-dask python3-distributed python3-mypy python3-venv python3-build"
if ! /usr/bin/python3 -c 'import astropy, matplotlib, numpy, pytest, synphot, extinction, dask.array, distributed, mypy.stubtest, ensurepip, build' 2>/dev/null ||
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

# After the corpus replays of both builds, a short libFuzzer run of every fuzz target when
# clang++-14 is there (VELTRANE_FUZZ_SECONDS each, default 30): tools/fuzz.sh builds them in
# build-fuzz/ and fuzzes copies of the corpora there, so nothing is written into tests/. A
# finding fails the run; fuzz.sh prints where it left the input and how to replay it.
if command -v clang++-14 >/dev/null 2>&1; then
  bash tools/fuzz.sh "${VELTRANE_FUZZ_SECONDS:-30}"
else
  echo "run_tests.sh: no clang++-14: the libFuzzer runs are skipped (the corpora were replayed)"
fi
