#!/usr/bin/env bash
# Builds Veltrane and runs it on the bundled example (examples/grid.in). The tables are
# written beside the galaxies' result files, in examples/galaxies/.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build --target veltrane -j"$(nproc 2>/dev/null || echo 2)"
cd examples
../build/veltrane grid.in
echo
echo "Outputs:"
ls -1 galaxies/*.MAG.out galaxies/*.SPC.out galaxies/*.LOG 2>/dev/null || true
