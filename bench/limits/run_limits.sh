#!/usr/bin/env bash
# The largest inputs the tables admit (bench/limits/make_limits.py): peak resident memory of
# a run with one job (target: at most 64 MB), and the same run under the sanitizer build when
# one is given. Not part of the tests.
#
#   bench/limits/run_limits.sh [BUILD_DIR [SANITIZER_BUILD_DIR]]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
asan=${2:+$(cd "$2" && pwd)}
work=$(mktemp -d "${TMPDIR:-/tmp}/veltrane-limits.XXXXXX")
trap 'rm -rf "$work"' EXIT
python3 "$here/make_limits.py" "$work"
cd "$work"
/usr/bin/time -o time.txt -f "veltrane -j 1: %e s, peak RSS %M kB, status %x" "$build/veltrane" --quiet grid.in > run.txt 2> warnings.txt
cat time.txt
grep -c "" warnings.txt | sed "s/^/warnings (every SSP file reaches the 10,000-point limit): /"
grep -c "" gal01.SPC.out | sed 's/^/.SPC.out rows: /'
if [[ -n $asan ]]; then
  ASAN_OPTIONS=detect_leaks=1 /usr/bin/time -o time.txt -f "sanitizers: %e s, peak RSS %M kB, status %x" \
    "$asan/veltrane" --quiet grid.in > run-asan.txt 2> /dev/null
  cat time.txt
  cmp run.txt run-asan.txt && echo "sanitizer run: same console"
fi
