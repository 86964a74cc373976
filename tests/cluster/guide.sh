# Shared by the cluster tests (sourced): the guide's scripts taken from docs/cluster.md, a
# small survey made of the bundled example, and the comparison of a sharded run with a
# single-process one.
#
# The guide marks each script it shows with a line "<!-- tested: NAME -->" followed by the
# script as an indented block; extract_script writes that block, unindented, to NAME.

# extract_script DOC NAME: the block marked NAME in DOC, to the file NAME.
extract_script() {
  awk -v name="$2" '
    $0 == "<!-- tested: " name " -->" { found = 1; inside = 0; next }
    found && !inside && /^$/ { next }
    found && /^    / { inside = 1; printf "%s", blanks; blanks = ""; print substr($0, 5); next }
    found && inside && /^$/ { blanks = blanks "\n"; next }
    found && inside { exit }
  ' "$1" > "$2"
  [ -s "$2" ] || { echo "no script marked '$2' in $1"; return 1; }
}

# make_survey SOURCE_DIR DIR: a survey of 12 galaxies in DIR (survey.in, galaxies/, base/,
# filters/), copies of the example's four under other names; g07's result is missing and
# g12 is normalised outside its base (two failed galaxies with their .LOG, the second with
# tables), g03 and g11 have no distance.
make_survey() {
  mkdir -p "$2/galaxies"
  cp -r "$1/examples/base" "$1/examples/filters" "$2/"
  {
    printf '%15d\ngalaxies/\nbase/\nfilters/\n1.0\n        1.0E-17\n%15d\n%15d\n%15d\n' 12 0 2 0
    for i in $(seq 1 12); do
      name=$(printf 'g%02d' "$i")
      [ "$i" = 7 ] || cp "$1/examples/galaxies/gal0$(( (i - 1) % 4 + 1 ))" "$2/galaxies/$name"
      [ "$i" = 12 ] && sed -i -E 's/^[^ ]+( +\[l_norm )/40200.0\1/' "$2/galaxies/$name"
      case $i in 3 | 11) echo "$name 0.0" ;; *) echo "$name $(( 20 * i )).0" ;; esac
    done
  } > "$2/survey.in"
}

# two_surveys SOURCE_DIR SCRATCH NAME SCRIPT: the survey twice, in SCRATCH/single, run there by
# one process (console.txt, single.fits), and in SCRATCH/NAME, the current directory afterwards,
# holding the guide's SCRIPT and merge.sh. Fails when the guide lacks one of them.
two_surveys() {
  make_survey "$1" "$2/single"
  make_survey "$1" "$2/$3"
  (cd "$2/single" && veltrane --catalog single.fits survey.in > console.txt 2> /dev/null)
  cd "$2/$3" || return 1
  extract_script "$1/docs/cluster.md" "$4" && extract_script "$1/docs/cluster.md" merge.sh
}

# Date stamps of the problem reports differ from run to run.
mask_dates() { sed -E 's/[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}/<DATE>/g' "$1"; }

# same_tables WHOLE SHARDED: every table and log of the two runs equal (dates masked).
same_tables() {
  local status=0 n=0 f
  for f in "$1"/galaxies/*.MAG.out "$1"/galaxies/*.SPC.out "$1"/galaxies/*.LOG; do
    n=$((n + 1))
    if ! cmp -s <(mask_dates "$f") <(mask_dates "$2/galaxies/${f##*/}"); then
      echo "differs from the single run: ${f##*/}"
      status=1
    fi
  done
  [ "$(ls "$1/galaxies" | wc -l)" = "$(ls "$2/galaxies" | wc -l)" ] || { echo "not the same files:"; diff <(ls "$1/galaxies") <(ls "$2/galaxies"); status=1; }
  [ $n -ge 20 ] || { echo "only $n tables and logs"; status=1; }
  return $status
}

# same_console SINGLE SHARD_CONSOLE...: the shards' consoles, in shard order and each
# without the parameter echo that every process prints before its first galaxy, make the
# single run's console.
same_console() {
  local single=$1 first=1 f
  shift
  for f in "$@"; do
    if [ $first = 1 ]; then cat "$f"; first=0; else sed -n '/\.\.\. arq_synt: /,$p' "$f"; fi
  done | cmp -s - "$single" || { echo "the shards' consoles do not make the single run's"; return 1; }
}

# same_catalogue SINGLE MERGED: the GALAXIES data of two catalogues equal byte for byte.
same_catalogue() {
  /usr/bin/python3 - "$1" "$2" <<'EOF'
import sys
from astropy.io import fits
a, b = (fits.open(p)["GALAXIES"] for p in sys.argv[1:3])
same = a.data.tobytes() == b.data.tobytes() and a.columns.names == b.columns.names
print("same GALAXIES data" if same else "the GALAXIES data differ")
sys.exit(0 if same else 1)
EOF
}
