#!/bin/sh
# The layers of src/: each folder includes only from the folders below it. The text layer is
# at the bottom, numerics above it; readers, extinction and photometry above numerics and
# never each other; the input cache above readers and photometry; the driver on top. The
# catalogue writer stands alone (its own library over cfitsio), used only by the driver.
src=${1:?usage: layers_test.sh SRC_DIR}
status=0
allowed() {
  case $1 in
    textio) echo "textio" ;;
    numerics) echo "textio numerics" ;;
    readers | extinction | photometry) echo "textio numerics $1" ;;
    cache) echo "textio numerics readers photometry cache" ;;
    driver) echo "textio numerics readers extinction photometry cache catalog driver" ;;
    catalog) echo "catalog" ;;  # plain data in, FITS out: no other folder
    *) echo "" ;;
  esac
}
for dir in "$src"/*/; do
  layer=$(basename "$dir")
  ok=$(allowed "$layer")
  [ -n "$ok" ] || { echo "unknown layer src/$layer"; status=1; continue; }
  for used in $(grep -ho '^#include "[a-z_]*/' "$dir"*.h "$dir"*.cpp 2>/dev/null | sed 's/#include "//; s|/||' | sort -u); do
    case " $ok " in
      *" $used "*) ;;
      *) echo "src/$layer includes from src/$used:"; grep -n "#include \"$used/" "$dir"*.h "$dir"*.cpp 2>/dev/null; status=1 ;;
    esac
  done
done
exit $status
