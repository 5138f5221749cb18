#!/usr/bin/env bash
# Times varnel-unzip, with its decode thread and without (VARNEL_UNZIP_ONE_THREAD=1), against
# unzip -o -q, bsdtar -xf and 7zz x on the same archives, each run into a fresh folder, the
# tools alternating within every round. Prints each tool's median wall time with the min-max
# spread, its peak memory (GNU time) and the ratio of varnel-unzip to it.
#   bench/zip/unzip_bench.sh [VARNEL_UNZIP] [ROUNDS]
# SCALE (default 1) multiplies the corpus: 5000 small text files, 20 binaries of 256 KiB and
# two 50 MiB random files, archived with zip -6 (mixed) and zip -0 (stored), plus one 1 GiB
# entry (big) at SCALE=1. ARCHIVES (default "mixed stored big") picks the archives timed.
# Targets: mixed and stored at most 0.8 of bsdtar's time, big at most 0.9, peak at most 16 MiB.
set -euo pipefail
varnel=${1:-$(dirname "$0")/../../build/bin/varnel-unzip}
varnel=$(realpath "$varnel")
rounds=${2:-5}
scale=${SCALE:-1}
archives=${ARCHIVES:-mixed stored big}
# CORPUS=DIR keeps the archives in DIR and reuses them on the next run, for reruns of a pair.
if [ -n "${CORPUS:-}" ]; then
  work=$(realpath "$CORPUS")
  mkdir -p "$work"
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
sevenzip=$(command -v 7zz || command -v 7z || true)

if [ ! -f "$work/mixed.zip" ]; then
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
(cd "$work/corpus" && zip -qr6 "$work/mixed.zip" . && zip -qr0 "$work/stored.zip" .)
case " $archives " in *" big "*) (cd "$work/big" && zip -q6 "$work/big.zip" big.dat) ;; esac
# The source tree stays: deleting its files now would slow the first runs (see below).
rm -rf "$work/big"
fi
# ext4 passes over inodes deleted in the last minutes whenever it creates a file, so a run just
# after thousands of files were deleted spends seconds in the kernel, whichever tool it is.
# Outputs of many files are therefore deleted only when every run is over.
mkdir -p "$work/out"
trap 'rm -rf "$work/out"' EXIT
[ -n "${CORPUS:-}" ] || trap 'rm -rf "$work"' EXIT

# Runs a command under GNU time; prints its wall seconds and peak resident KiB.
measure() {
  /usr/bin/time -f '%e %M' -o "$work/time.txt" "$@" >/dev/null 2>&1 || echo "failed: $*" >&2
  cat "$work/time.txt"
}
# Reads numbers; prints median, minimum and maximum.
stats() { sort -g | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)], a[1], a[NR]}'; }

tools=(varnel varnel-1t unzip bsdtar)
[ -n "$sevenzip" ] && tools+=(7zip)
for archive in $archives; do
  zip="$work/$archive.zip"
  declare -A times=() peaks=()
  for round in $(seq "$rounds"); do
    # Each round starts with another tool, so none always runs right after a big deletion.
    shift=$((round % ${#tools[@]}))
    for tool in "${tools[@]:shift}" "${tools[@]:0:shift}"; do
      sync
      out="$work/out/$archive-$tool-$round"
      mkdir "$out"
      case $tool in
        varnel) r=$(measure "$varnel" "$zip" "$out") ;;
        varnel-1t) r=$(VARNEL_UNZIP_ONE_THREAD=1 measure "$varnel" "$zip" "$out") ;;
        unzip) r=$(measure unzip -o -q "$zip" -d "$out") ;;
        bsdtar) r=$(measure bsdtar -xf "$zip" -C "$out") ;;
        7zip) r=$(measure "$sevenzip" x -y "-o$out" "$zip") ;;
      esac
      times[$tool]+="${r% *} "
      peaks[$tool]+="${r#* } "
      [ "$(find "$out" | head -n 100 | wc -l)" -lt 100 ] && rm -rf "$out"
    done
  done
  printf '%s (%s MiB), %s rounds:\n' "$archive" "$(($(stat -c %s "$zip") / 1048576))" "$rounds"
  read -r bsdtar _ < <(echo "${times[bsdtar]}" | tr ' ' '\n' | grep . | stats)
  for tool in "${tools[@]}"; do
    read -r m lo hi < <(echo "${times[$tool]}" | tr ' ' '\n' | grep . | stats)
    read -r peak _ < <(echo "${peaks[$tool]}" | tr ' ' '\n' | grep . | stats)
    awk -v t="$tool" -v m="$m" -v lo="$lo" -v hi="$hi" -v p="$peak" -v b="$bsdtar" 'BEGIN {
      printf "  %-9s %6.2f s (%.2f-%.2f)  peak %6.1f MiB  /bsdtar %.2f\n", t, m, lo, hi, p / 1024, m / b
    }'
  done
  unset times peaks
done
