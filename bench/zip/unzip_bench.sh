#!/usr/bin/env bash
# Times varnel-unzip against unzip -o -q, bsdtar -xf and 7zz x on the same archives, each run
# into a fresh folder, the tools alternating within every round; prints the median wall time of
# each tool, its ratio to varnel-unzip's, and varnel-unzip's peak memory.
#   bench/zip/unzip_bench.sh [VARNEL_UNZIP] [ROUNDS]
# SCALE (default 1) multiplies the corpus: 5000 small text files, 20 binaries of 256 KiB and
# two 50 MiB random files, archived with zip -6 and zip -0, plus one 1 GiB entry at SCALE=1.
set -euo pipefail
varnel=${1:-$(dirname "$0")/../../build/bin/varnel-unzip}
varnel=$(realpath "$varnel")
rounds=${2:-3}
scale=${SCALE:-1}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sevenzip=$(command -v 7zz || command -v 7z || true)

mkdir -p "$work/corpus/text" "$work/corpus/bin" "$work/big"
python3 - "$work/corpus" "$scale" <<'PY'
import os, random, sys
root, scale = sys.argv[1], float(sys.argv[2])
rng = random.Random(7)
words = [("w%d" % i).encode() for i in range(2000)]
for i in range(int(5000 * scale)):
    with open(os.path.join(root, "text", "f%05d.txt" % i), "wb") as f:
        f.write(b" ".join(rng.choice(words) for _ in range(rng.randint(50, 800))))
for i in range(20):
    with open(os.path.join(root, "bin", "b%02d.bin" % i), "wb") as f:
        f.write(bytes(rng.getrandbits(8) if j % 3 else j & 0xFF for j in range(262144)))
for i in range(2):
    with open(os.path.join(root, "random%d.dat" % i), "wb") as f:
        f.write(os.urandom(int(50 * 1048576 * scale)))
chunk = b" ".join(rng.choice(words) for _ in range(700000))[:4 * 1048576]
with open(os.path.join(root, "..", "big", "big.dat"), "wb") as f:
    for _ in range(int(256 * scale)):
        f.write(chunk)
PY
(cd "$work/corpus" && zip -qr6 "$work/mixed6.zip" . && zip -qr0 "$work/mixed0.zip" .)
(cd "$work/big" && zip -q6 "$work/big.zip" big.dat)
rm -rf "$work/corpus" "$work/big"

seconds() {  # command...; prints wall seconds
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  echo "$end - $start" | bc
}
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }

for archive in mixed6 mixed0 big; do
  zip="$work/$archive.zip"
  declare -A times=()
  tools=(varnel unzip bsdtar)
  [ -n "$sevenzip" ] && tools+=(7zip)
  for round in $(seq "$rounds"); do
    # Each round starts with another tool, so none always runs right after a big deletion.
    shift=$((round % ${#tools[@]}))
    for tool in "${tools[@]:shift}" "${tools[@]:0:shift}"; do
      sync
      out="$work/out-$tool-$round"
      mkdir "$out"
      case $tool in
        varnel) t=$(seconds "$varnel" "$zip" "$out") ;;
        unzip) t=$(seconds unzip -o -q "$zip" -d "$out") ;;
        bsdtar) t=$(seconds bsdtar -xf "$zip" -C "$out") ;;
        7zip) t=$(seconds "$sevenzip" x -y "-o$out" "$zip") ;;
      esac
      times[$tool]+="$t "
      rm -rf "$out"
    done
  done
  mkdir "$work/peak"
  peak=$( { /usr/bin/time -f %M "$varnel" "$zip" "$work/peak" >/dev/null; } 2>&1 | tail -n 1)
  rm -rf "$work/peak"
  base=$(echo "${times[varnel]}" | tr ' ' '\n' | grep . | median)
  printf '%s (%s MiB): varnel-unzip %.2f s, peak %s KiB\n' "$archive" \
    "$(($(stat -c %s "$zip") / 1048576))" "$base" "$peak"
  for tool in "${tools[@]}"; do
    [ "$tool" = varnel ] && continue
    m=$(echo "${times[$tool]}" | tr ' ' '\n' | grep . | median)
    printf '  %-7s %.2f s  ratio varnel/%s = %.2f\n' "$tool" "$m" "$tool" "$(echo "$base / $m" | bc -l)"
  done
  unset times
done
