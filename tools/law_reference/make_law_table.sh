#!/bin/sh
# Regenerates tests/extinction/data/law_values.txt: the six extinction laws evaluated by an
# independent REAL(4) Fortran transcription (laws_reference.f90), as float bits. Needs
# gfortran (the committed table was made with GNU Fortran 12.2.0, Debian 12); neither the
# build nor the tests run this script.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/../../tests/extinction/data/law_values.txt}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
gfortran -O0 -ffp-contract=off -o "$work/laws_reference" "$here/laws_reference.f90"
{
  echo "# lambda (text, bits), then q for CAL CCJ CCM GD1 GD2 GD3 (bits; 0 out of range)."
  echo "# Made by tools/law_reference/make_law_table.sh with $(gfortran --version | head -n 1)."
  "$work/laws_reference"
} > "$out"
echo "table written to $out"
