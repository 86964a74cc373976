#!/bin/sh
# The layers of src/ are a fact of the build: each folder is compiled with the include
# directories of the layers it may use and no other, so a header of a layer it may not use
# is not found. For every layer this compiles probes with exactly the include directories
# the build gives it (LAYERS_DIR/LAYER.includes, written by CMake from the library's own
# property): one that includes a header of every layer the rules below allow must compile
# (the positive control); one per forbidden layer, including one of its headers, must fail,
# and fail for the right reason: that header not found, nothing else. No source may reach
# around the include directories with a relative path either.
#
#   layers_test.sh CXX LAYERS_DIR SRC_DIR
cxx=${1:?usage: layers_test.sh CXX LAYERS_DIR SRC_DIR}
layers_dir=${2:?usage: layers_test.sh CXX LAYERS_DIR SRC_DIR}
src=${3:?usage: layers_test.sh CXX LAYERS_DIR SRC_DIR}

# The house rules (docs/architecture.md): text I/O at the bottom, then support; numerics,
# the readers and extinction on support, photometry on numerics, never each other; the input
# cache above the readers and photometry; one galaxy's physics above the cache and
# extinction, the formatting of its tables above it; the survey catalogue on its own (plain
# data in, FITS out); the driver on top.
allowed() {
  case $1 in
    textio) echo "textio" ;;
    support) echo "textio support" ;;
    numerics | readers | extinction) echo "textio support $1" ;;
    photometry) echo "textio support numerics photometry" ;;
    cache) echo "textio support numerics readers photometry cache" ;;
    galaxy) echo "textio support numerics readers extinction photometry cache galaxy" ;;
    tables) echo "textio support numerics readers extinction photometry cache galaxy tables" ;;
    catalog) echo "catalog" ;;
    driver) echo "textio support numerics readers extinction photometry cache galaxy tables catalog driver" ;;
  esac
}
layers="textio support numerics readers extinction photometry cache galaxy tables catalog driver"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
fail() {
  echo "$*"
  status=1
}

for layer in $layers; do
  [ -d "$src/$layer" ] || fail "src/$layer: no such layer"
done
for dir in "$src"/*/; do
  name=$(basename "$dir")
  case " $layers " in *" $name "*) ;; *) fail "src/$name is not one of the layers: $layers" ;; esac
done

# One header of each layer, the first in name order.
header_of() {
  ls "$src/$1" | grep '\.h$' | head -n 1
}

for layer in $layers; do
  includes="$layers_dir/$layer.includes"
  [ -f "$includes" ] || { fail "$includes: not written by CMake"; continue; }
  flags=$(sed 's/^/-I/' "$includes" | tr '\n' ' ')
  ok=$(allowed "$layer")
  # The positive control: one header of every layer it may use, together.
  probe="$work/${layer}_uses.cpp"
  : > "$probe"
  for used in $ok; do printf '#include "%s/%s"\n' "$used" "$(header_of "$used")" >> "$probe"; done
  echo 'int main() { return 0; }' >> "$probe"
  # shellcheck disable=SC2086
  "$cxx" -std=c++20 -fsyntax-only $flags "$probe" > "$work/out" 2>&1 ||
    { fail "src/$layer does not compile with the headers of the layers it may use ($ok):"; cat "$work/out"; }
  # Every layer it may not use, one probe each.
  for used in $layers; do
    case " $ok " in *" $used "*) continue ;; esac
    header="$used/$(header_of "$used")"
    probe="$work/${layer}_uses_$used.cpp"
    printf '#include "%s"\nint main() { return 0; }\n' "$header" > "$probe"
    # shellcheck disable=SC2086
    if "$cxx" -std=c++20 -fsyntax-only $flags "$probe" > "$work/out" 2>&1; then
      fail "src/$layer may not use src/$used, but $header compiles there"
    elif ! grep -q "fatal error: $header: No such file or directory" "$work/out" ||
         [ "$(grep -c 'error' "$work/out")" -ne 1 ]; then
      fail "src/$layer including $header fails, but not (only) because the header is not found:"
      cat "$work/out"
    fi
  done
done

# Nothing reaches another folder by a relative path.
if grep -n '#include "\.\./' "$src"/*/*.h "$src"/*/*.cpp; then
  fail "relative includes leave the include directories of their layer"
fi
[ $status -eq 0 ] && echo "every layer sees exactly the layers it may use"
exit $status
