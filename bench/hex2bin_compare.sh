#!/bin/sh
# Times HEX-to-binary conversion of one 64 KB image as whole processes:
# tamberlink-cli hex2bin against objcopy and srec_cat, side by side.
#
#   bench/hex2bin_compare.sh [path/to/tamberlink-cli] [runs]
#
# The tool defaults to $TAMBERLINK_BIN_DIR/tamberlink-cli, then to
# build/bin/tamberlink-cli under the source tree. Uses hyperfine when it is
# installed, otherwise a plain loop timed with date +%s%N.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
cli=${1:-${TAMBERLINK_BIN_DIR:-$here/../build/bin}/tamberlink-cli}
runs=${2:-300}

for tool in "$cli" objcopy srec_cat; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "hex2bin_compare: $tool not found" >&2
        exit 2
    fi
done
# The runs happen in a scratch folder: make the path absolute first.
case $cli in
    /*) ;;
    */*) cli=$(cd "$(dirname "$cli")" && pwd)/$(basename "$cli") ;;
esac

work=$(mktemp -d "${TMPDIR:-/tmp}/hex2bin-compare.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
cd "$work"

# 64 KB of random bytes; the last one is never 0xFF so that trimming the
# erased tail changes nothing and all three outputs must match byte for byte.
head -c 65535 /dev/urandom > image.bin
printf '\000' >> image.bin
# 16-bit addresses only: no extended address records, which the programmer
# does not accept.
srec_cat image.bin -binary -o image.hex -intel -address-length=2

tl="$cli hex2bin image.hex out-tamberlink.bin"
oc="objcopy -I ihex -O binary image.hex out-objcopy.bin"
sc="srec_cat image.hex -intel -o out-srec_cat.bin -binary"

# One run each first: the outputs must agree before any timing counts.
for command in "$tl" "$oc" "$sc"; do
    $command || { echo "hex2bin_compare: failed: $command" >&2; exit 1; }
done
for out in out-objcopy.bin out-srec_cat.bin; do
    if ! cmp -s out-tamberlink.bin "$out"; then
        echo "hex2bin_compare: out-tamberlink.bin and $out differ" >&2
        exit 1
    fi
done
cmp -s out-tamberlink.bin image.bin || { echo "hex2bin_compare: round trip differs" >&2; exit 1; }
echo "outputs identical ($(wc -c < image.hex) bytes of HEX -> $(wc -c < out-tamberlink.bin) bytes)"
echo

if command -v hyperfine >/dev/null 2>&1; then
    hyperfine -N --warmup 20 --runs "$runs" \
        -n tamberlink "$tl" -n objcopy "$oc" -n srec_cat "$sc"
    exit 0
fi

# Mean wall time of one run in microseconds.
time_runs() {
    start=$(date +%s%N)
    i=0
    while [ "$i" -lt "$runs" ]; do
        $1 >/dev/null
        i=$((i + 1))
    done
    end=$(date +%s%N)
    echo $(((end - start) / runs / 1000))
}

t_tl=$(time_runs "$tl")
t_oc=$(time_runs "$oc")
t_sc=$(time_runs "$sc")
echo "mean wall time per run over $runs runs (includes the shell's fork and exec):"
printf '  %-12s %8d us\n' tamberlink "$t_tl" objcopy "$t_oc" srec_cat "$t_sc"
awk -v a="$t_tl" -v b="$t_oc" -v c="$t_sc" 'BEGIN {
    if (a > 0) printf "  tamberlink is %.2fx faster than objcopy, %.2fx faster than srec_cat\n", b / a, c / a
}'
