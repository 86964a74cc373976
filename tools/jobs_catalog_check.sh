#!/usr/bin/env bash
# A catalogue run with several jobs against the same run on one thread:
#
#   tools/jobs_catalog_check.sh VELTRANE JOBS [GALAXIES]
#
# Makes a grid of GALAXIES (default 64) galaxies from the example's four result files in a
# scratch directory, runs VELTRANE with -j JOBS and --catalog-spectra, then with -j 1, and
# fails unless both end with status 0, print the same console and standard error, and write
# the same catalogue (but for the cards that hold the time: DATE and the checksums).
# tools/run_tests.sh runs it on the ThreadSanitizer build, where a data race ends the run with
# its report.
set -euo pipefail
exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
jobs=${2:?jobs_catalog_check: JOBS missing}
galaxies=${3:-64}
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/veltrane-jobs.XXXXXX")
trap 'rm -rf -- "$work"' EXIT

for run in many one; do
  mkdir -p "$work/$run/galaxies"
  cp -r "$root/examples/base" "$root/examples/filters" "$work/$run/"
  {
    printf '%15d    N_models\n' "$galaxies"
    sed -n '2,9p' "$root/examples/grid.in"
    for ((g = 1; g <= galaxies; g++)); do
      name=$(printf 'g%04d' "$g")
      cp "$root/examples/galaxies/gal0$(( (g - 1) % 4 + 1 ))" "$work/$run/galaxies/$name"
      printf '%-10s %9.2f\n' "$name" "$(( g * 7 % 200 )).5"
    done
  } > "$work/$run/grid.in"
done

status=0
for run in many one; do
  j=$([[ $run == many ]] && echo "$jobs" || echo 1)
  rc=0
  (cd "$work/$run" && exec "$exe" -j "$j" --catalog survey.fits --catalog-spectra grid.in >out 2>err) || rc=$?
  if [[ $rc != 0 ]]; then
    echo "jobs_catalog_check: veltrane -j $j ended with status $rc; its standard error begins:" >&2
    head -n 80 "$work/$run/err" >&2
    status=1
  fi
  if [[ ! -s $work/$run/survey.fits ]]; then
    echo "jobs_catalog_check: veltrane -j $j wrote no catalogue" >&2
    status=1
  fi
done
for stream in out err; do
  if ! cmp -s "$work/many/$stream" "$work/one/$stream"; then
    echo "jobs_catalog_check: the standard $stream of -j $jobs differs from that of -j 1:" >&2
    diff "$work/one/$stream" "$work/many/$stream" | head -n 20 >&2
    status=1
  fi
done
# The 80-byte cards of both catalogues, those that hold the time left out.
if ! /usr/bin/python3 - "$work/many/survey.fits" "$work/one/survey.fits" <<'PY'; then
import sys
def cards(path):
    data = open(path, "rb").read()
    timed = (b"DATE    ", b"CHECKSUM", b"DATASUM ")
    return [data[i:i + 80] for i in range(0, len(data), 80) if data[i:i + 8] not in timed]
sys.exit(cards(sys.argv[1]) != cards(sys.argv[2]))
PY
  echo "jobs_catalog_check: the catalogue of -j $jobs differs from that of -j 1" >&2
  status=1
fi
[[ $status == 0 ]] && echo "jobs_catalog_check: $galaxies galaxies with -j $jobs and --catalog: as with -j 1"
exit "$status"
