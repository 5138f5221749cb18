#!/usr/bin/env bash
# Times `varnel-unzip --list` on cut archives (small entries, no central directory, so the open
# rebuilds the directory from the local headers) of 10,000, 20,000 and 40,000 entries, in two
# layouts: plain, and every local header setting flag bit 3 with no data descriptor following.
# Prints per archive the median wall time of ROUNDS runs with its min-max spread, the bytes the
# tool read (rchar), its read and lseek calls, and its peak memory.
#   bench/zip/recovery_bench.sh [VARNEL_UNZIP] [ROUNDS]
# COUNTS (default "10000 20000 40000") picks the archive sizes.
set -euo pipefail
varnel=${1:-$(dirname "$0")/../../build/bin/varnel-unzip}
varnel=$(realpath "$varnel")
rounds=${2:-5}
counts=${COUNTS:-10000 20000 40000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work" $counts <<'PY'
import io, random, sys, zipfile
work, counts = sys.argv[1], [int(c) for c in sys.argv[2:]]
rng = random.Random(10)
for count in counts:
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as zf:
        for i in range(count):
            text = (" ".join("w%d" % rng.randrange(500) for _ in range(rng.randint(5, 40))))
            zf.writestr("d%02d/f%06d.txt" % (i % 50, i), text + "\n")
        cut = zf.start_dir
        offsets = [info.header_offset for info in zf.infolist()]
    data = bytearray(buffer.getvalue()[:cut])
    with open("%s/plain-%d.zip" % (work, count), "wb") as f:
        f.write(data)
    for offset in offsets:
        data[offset + 6] |= 8
    with open("%s/bit3-%d.zip" % (work, count), "wb") as f:
        f.write(data)
PY

# One run: prints wall seconds and the bytes read; the child's I/O counters reach the parent's
# /proc/self/io once it has been waited for.
run_once() {
  python3 - "$@" <<'PY'
import subprocess, sys, time
def rchar():
    with open("/proc/self/io") as f:
        return int(next(line for line in f if line.startswith("rchar")).split()[1])
before = rchar()
start = time.perf_counter()
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, check=True)
wall = time.perf_counter() - start
print("%.4f %d" % (wall, rchar() - before))
PY
}
stats() {  # numbers on stdin; prints "median [min-max]"
  sort -n | awk '{a[NR]=$1} END {printf "%.3f s [%.3f-%.3f]", a[int((NR + 1) / 2)], a[1], a[NR]}'
}

printf '%-12s %8s  %-26s %14s %8s %8s %9s\n' archive KiB "list (median [min-max])" \
  "bytes read" reads lseeks "peak KiB"
for layout in plain bit3; do
  for count in $counts; do
    zip="$work/$layout-$count.zip"
    walls=""
    for _ in $(seq "$rounds"); do
      read -r wall bytes < <(run_once "$varnel" --list "$zip")
      walls+="$wall"$'\n'
    done
    calls=$(strace -f -c -e trace=read,lseek -o "$work/strace" "$varnel" --list "$zip" \
      >/dev/null && cat "$work/strace")
    reads=$(awk '$NF == "read" {print $4}' <<<"$calls")
    seeks=$(awk '$NF == "lseek" {print $4}' <<<"$calls")
    peak=$( { /usr/bin/time -f %M "$varnel" --list "$zip" >/dev/null; } 2>&1 | tail -n 1)
    printf '%-12s %8d  %-26s %14d %8s %8s %9s\n' "$layout-$count" \
      "$(($(stat -c %s "$zip") / 1024))" "$(printf '%s' "$walls" | grep . | stats)" \
      "$bytes" "${reads:-0}" "${seeks:-0}" "$peak"
  done
done
