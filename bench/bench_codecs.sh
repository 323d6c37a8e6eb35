#!/usr/bin/env bash
# Decodes one hour of each coding with velmora-cli and with the reference
# tools, in one run. Usage: bench_codecs.sh BIN_DIR DATA_DIR TETRA_SPEECH
set -euo pipefail
bin=$1; data=$2; speech=$3
mkdir -p "$data"

# One hour at 8000 Hz: PCMA 28.8 MB, G.726-32 14.4 MB, TETRA 120000 frames of 18 bytes.
[ -s "$data/hour.al" ] || head -c 28800000 /dev/urandom > "$data/hour.al"
[ -s "$data/hour.g726" ] || head -c 14400000 /dev/urandom > "$data/hour.g726"
if [ ! -s "$data/hour.tetra" ]; then
    python3 - "$speech" "$data/hour.tetra" <<'PY'
import sys
src = open(sys.argv[1], 'rb').read()
src = src[:len(src) // 18 * 18]
n = 120000
out = bytearray()
while len(out) < n * 18:
    out += src
open(sys.argv[2], 'wb').write(bytes(out[:n * 18]))
PY
fi

seconds() { # command... -> wall seconds of the best of three runs
    local best=""
    for _ in 1 2 3; do
        local s e
        s=$(date +%s.%N); "$@" >/dev/null 2>&1; e=$(date +%s.%N)
        best=$(python3 -c "a=$e-$s; b='$best'; print(a if not b or a < float(b) else b)")
    done
    printf '%.3f' "$best"
}

out=$data/out.pcm
g_ours=$(seconds "$bin/velmora-cli" decode --encoding G726-32 "$data/hour.g726" "$out")
g_ffm=$(seconds ffmpeg -y -loglevel error -f g726le -code_size 4 -sample_rate 8000 -i "$data/hour.g726" -f s16le "$out")
a_ours=$(seconds "$bin/velmora-cli" decode --encoding PCMA "$data/hour.al" "$out")
a_sox=$(seconds sox -t al -r 8000 -c 1 "$data/hour.al" -t s16 "$out")
a_cat=$(seconds cp "$data/hour.al" "$out")
t_ours=$(seconds "$bin/velmora-cli" decode --encoding TETRA "$data/hour.tetra" "$out")
rm -f "$out"

echo "one hour of speech, best of 3 (s):"
echo "  G726-32: velmora-cli $g_ours   ffmpeg $g_ffm   ratio $(python3 -c "print(round($g_ours/$g_ffm, 2))")"
echo "  PCMA:    velmora-cli $a_ours   sox $a_sox   (copying the input: $a_cat)"
echo "  TETRA:   velmora-cli $t_ours"
