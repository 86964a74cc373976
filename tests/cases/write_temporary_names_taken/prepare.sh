# Takes the first three temporary names of this shell's process (which then becomes
# veltrane): "." and seven base-36 digits of pid * 1296 + attempt.
tmpname() {
  awk -v n="$(( $$ * 1296 + $1 ))" 'BEGIN { d = "0123456789abcdefghijklmnopqrstuvwxyz"; s = ""
    for (i = 0; i < 7; i++) { s = substr(d, n % 36 + 1, 1) s; n = int(n / 36) }; print "." s }'
}
mkdir "$(tmpname 0)"
echo "a file of another program" > "$(tmpname 1)"
ln -s gal01 "$(tmpname 2)"
