#!/bin/sh
# Regenerates the gfortran reference tables of the text-layer tests:
#   tests/textio/data/format_output.txt  how gfortran 12.2 writes floats and integers
#   tests/textio/data/read_cases.txt     what gfortran 12.2 READ statements store
# Needs gfortran (tables committed in the repository were made with GNU Fortran 12.2.0,
# Debian 12). Neither the build nor the tests run this script; it records where the
# expected values come from.
#
# Output table lines:  DESC BITS |field|     (BITS: the float's bits in hex; `list` is the
#                      16-character list-directed field, `record` a whole 3-value record)
#                      iW VALUE |field|
#                      DESC |text|result|   (cut, used, adj, a3, a5: see gentab.f90)
# Read table blocks:   case FMT STMTS        (see gentab.f90 for STMTS)
#                      in TEXT               (file bytes; \n \t \r \0 \\ escaped)
#                      stmt ok|eof|error [iomsg]   then one line per item:
#                      r BITS | i VALUE | a [text]
#                      end
set -eu
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/../../tests/textio/data}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

gfortran -O0 -Wno-underflow -o "$work/gentab" "$here/gentab.f90"
mkdir -p "$out"
"$work/gentab" output > "$out/format_output.txt"

{
  gfortran --version | head -n 1 | sed 's/^/# made with /'
  # Each case line of read_cases.in: FMT <TAB> STMTS <TAB> TEXT (printf %b escapes).
  grep -v '^#' "$here/read_cases.in" | grep -v '^$' |
  while IFS='	' read -r fmt stmts text; do
    printf '%b' "$text" > "$work/in.txt"
    echo "case $fmt $stmts"
    printf 'in %s\n' "$("$work/gentab" escape "$work/in.txt")"
    "$work/gentab" read "$fmt" "$stmts" "$work/in.txt"
    echo "end"
  done
} > "$out/read_cases.txt"
echo "tables written to $out"
