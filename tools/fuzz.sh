#!/usr/bin/env bash
# Runs the libFuzzer targets, one after another: tools/fuzz.sh [SECONDS] [TARGET...]
# (default 60 s each; targets: textio synthesis_result ssp_base filter_set parameters, all by
# default). Builds them with clang++-14 in build-fuzz and runs each on a fresh copy of its
# corpus tests/fuzz/corpus/TARGET in build-fuzz/scratch/TARGET, where the new inputs stay
# (never in the repository); crashes, hangs (10 s) and out-of-memory inputs (2 GiB) go to
# build-fuzz/findings/TARGET/. Prints executions, coverage (cov, ft), corpus size and
# findings per target; exits 1 when any target found something.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
[ $# -gt 0 ] && shift
if [ $# -gt 0 ]; then targets=("$@"); else
  targets=(); for f in tests/fuzz/*_fuzz.cpp; do t=$(basename "$f" _fuzz.cpp); targets+=("$t"); done
fi

cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=Release \
  -DVELTRANE_FUZZ=ON -DVELTRANE_TESTS=OFF > /dev/null
for t in "${targets[@]}"; do cmake --build build-fuzz -j2 --target "${t}_fuzz" > /dev/null; done

status=0
for t in "${targets[@]}"; do
  findings=build-fuzz/findings/$t
  scratch=build-fuzz/scratch/$t
  rm -rf "$scratch"
  mkdir -p "$findings" "$scratch"
  cp tests/fuzz/corpus/"$t"/* "$scratch/"
  before=$(ls "$findings" | wc -l)
  log=build-fuzz/findings/$t.log
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    build-fuzz/"${t}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$findings/" "$scratch" > "$log" 2>&1 || true
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1 || true)
  found=$(( $(ls "$findings" | wc -l) - before ))
  [ "$found" -eq 0 ] || status=1
  echo "$t: ${execs:-?} executions, ${cov:-no coverage line}, corpus $(ls "$scratch" | wc -l) inputs," \
       "$found findings (in $findings/, log $log)"
done
exit $status
