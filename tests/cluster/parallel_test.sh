#!/bin/bash
# The guide's GNU parallel line (docs/cluster.md, one machine): its --shard runs must leave
# the tables, logs and consoles of one single-process run of the same grid; and
# veltrane-merge of the shards' catalogues must equal the single run's catalogue in its
# GALAXIES data.
#
# Usage: parallel_test.sh VELTRANE VELTRANE_MERGE SOURCE_DIR
# GNU parallel is installed from Debian's package when it is missing (as root); exit status 77
# (skipped, with the reason) only where it cannot be: not root, no apt-get, a failed install.
set -uo pipefail
veltrane=$(realpath "$1") merge=$(realpath "$2") src=$(realpath "$3")
export PATH="$(dirname "$veltrane"):$(dirname "$merge"):$PATH"
. "$src/tests/cluster/guide.sh"

skip() { echo "skipped: $*"; exit 77; }
gnu_parallel() { parallel --version 2> /dev/null | grep -q 'GNU parallel'; }
if ! gnu_parallel; then
  [ "$(id -u)" = 0 ] || skip "no GNU parallel, and installing it needs root"
  command -v apt-get > /dev/null || skip "no GNU parallel and no apt-get to install it"
  { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq parallel; } > /dev/null 2>&1 ||
    skip "installing parallel failed"
  gnu_parallel || skip "parallel is not GNU parallel (moreutils' is in the way)"
fi

scratch=$(mktemp -d /tmp/veltrane-parallel.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
status=0
two_surveys "$src" "$scratch" parallel parallel.sh || exit 1
# Two jobs at a time at most (the machine's cores are shared); --will-cite: no notice.
PARALLEL="-j 2 --will-cite" bash parallel.sh 2> parallel.err || { echo "parallel.sh failed:"; cat parallel.err; status=1; }
same_tables "$scratch/single" . || status=1
same_console "$scratch/single/console.txt" console/shard-{1..4}.txt || status=1
bash merge.sh || { echo "merge.sh failed"; status=1; }
same_catalogue "$scratch/single/single.fits" survey.fits || status=1
[ $status = 0 ] && echo "the parallel shards' tables, logs and consoles are those of the single run"
exit $status
