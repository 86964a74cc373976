#!/bin/bash
# A cluster's file system pays for every metadata operation. With --fixed-inputs a galaxy
# costs the operations on its own files only: counted with strace on 200 galaxies (the
# example's results under 200 names), every stat, open, access, unlink or rename whose file
# is not one the galaxy writes (its tables, its log, their temporary files) is at most 5 per
# galaxy, the inputs read once per run included; without the option the SSP and filter files
# are looked at again for every galaxy.
#
# Usage: metadata_test.sh VELTRANE SOURCE_DIR   (exit 77 without strace and no way to install it)
set -uo pipefail
veltrane=$(realpath "$1") src=$(realpath "$2")
skip() { echo "skipped: $*"; exit 77; }
if ! command -v strace > /dev/null; then
  { [ "$(id -u)" = 0 ] && command -v apt-get > /dev/null; } || skip "no strace"
  { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq strace; } > /dev/null 2>&1 ||
    skip "installing strace failed"
fi
strace -f -o /dev/null true 2> /dev/null || skip "strace cannot trace here"

scratch=$(mktemp -d /tmp/veltrane-metadata.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
cp -r "$src/examples/." "$scratch/"
cd "$scratch" || exit 1
n=200
{
  printf '%15d\n' "$n"
  sed -n '2,7p' grid.in
  printf '%15d\n' "${PRINTFIL:-2}"
  sed -n '9p' grid.in
  for i in $(seq 1 $n); do
    name=$(printf 'g%03d' "$i")
    cp "galaxies/gal0$((i % 4 + 1))" "galaxies/$name"
    echo "$name 45.0"
  done
} > grid200.in
awk 'NR == 8 { printf "%15d\n", 0; next } { print }' grid200.in > grid200.p0.in

# Metadata operations per galaxy that are not on the galaxy's own products, over the traces
# of every thread (one file each: no call is cut by another thread's).
count() {
  /usr/bin/python3 - "$n" trace.* << 'EOF'
import re, sys
n, traces = int(sys.argv[1]), sys.argv[2:]
meta = {"open", "openat", "creat", "stat", "lstat", "fstat", "newfstatat", "statx", "access", "faccessat",
        "faccessat2", "unlink", "unlinkat", "rename", "renameat", "renameat2", "readlink", "readlinkat"}
# A galaxy's products: its tables and log (galaxies/gNNN.*) and the temporary files beside them.
product = re.compile(r'^galaxies/(g\d{3}\.|\.[0-9a-z]{7}$)')
fds, counted = {}, 0
lines = [line for t in traces for line in open(t)]  # descriptors are the process's: threads share them
for line in lines:
    m = re.match(r'^(\w+)\((.*)\)\s+=\s+(-?\d+)', line)
    if not m:
        continue
    call, args, result = m.group(1), m.group(2), int(m.group(3))
    paths = re.findall(r'"((?:[^"\\]|\\.)*)"', args)
    if call == "close":
        fds.pop(args.strip(), None)
        continue
    if call not in meta:
        continue
    path = paths[0] if paths and paths[0] != "" else None
    if path is None:  # an operation on a descriptor: the file it was opened on
        fd = args.split(",")[0].strip()
        path = fds.get(fd, "")
    if call in ("open", "openat", "creat") and result >= 0:
        fds[str(result)] = path
    if call.startswith("rename") and len(paths) == 2:
        path = paths[1]  # a temporary file renamed to a product
    if not product.match(path):
        counted += 1
print(f"{counted / n:.2f}")
EOF
}

status=0
check() {  # label, limit, veltrane options...
  local label=$1 limit=$2
  shift 2
  rm -f galaxies/g[0-9][0-9][0-9].* cat.fits trace.*
  strace -ff -qq -e trace=%file,%desc -o trace "$veltrane" "$@" > /dev/null 2> stderr.txt
  local per
  per=$(count)
  echo "$label: $per metadata operations per galaxy beyond its own products"
  if ! awk -v p="$per" -v l="$limit" 'BEGIN { exit !(p <= l) }'; then
    echo "  more than $limit"
    status=1
  fi
}
check "--fixed-inputs, PrintFil 2" 5 --fixed-inputs grid200.in
check "--fixed-inputs, PrintFil 0, --catalog" 5 --fixed-inputs --catalog cat.fits grid200.p0.in
check "--fixed-inputs -j 2, PrintFil 2" 5 --fixed-inputs -j 2 grid200.in
# Without the option every SSP and filter file is looked at for every galaxy (a control: the
# count above is the option's doing).
check "without it, PrintFil 2" 100000 grid200.in
exit $status
