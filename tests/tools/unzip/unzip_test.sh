#!/usr/bin/env bash
# Runs varnel-unzip with TZ=UTC and LC_ALL=C: --list and the progress lines of the checked-in
# fixed.zip against their expectations, the extracted files' modes and times, the failure
# policies on an archive damaged at test time, and the one stderr line of a failed open.
set -u
unzip=$1
here=$2
export TZ=UTC LC_ALL=C
dir=$(mktemp -d)
trap 'chmod -R u+w "$dir"; rm -rf "$dir"' EXIT
fail=0
check() {  # name, expected, actual
  if [ "$2" != "$3" ]; then
    printf 'FAIL %s\n  expected: %q\n  actual:   %q\n' "$1" "$2" "$3"
    fail=1
  fi
}

check "list" "$(cat "$here/fixed.list")" "$("$unzip" --list "$here/fixed.zip")"
check "progress" "$(cat "$here/fixed.progress")" "$("$unzip" "$here/fixed.zip" "$dir/fixed")"
check "tool mode and time" "755 2021-06-15 08:30:12" \
  "$(stat -c %a "$dir/fixed/bin/tool") $(date -r "$dir/fixed/bin/tool" '+%F %T')"
check "read-only entry" "444" "$(stat -c %a "$dir/fixed/empty")"
check "utf-8 name" "utf-8 name" "$(cat "$dir/fixed/na"$'\xc3\xaf'"ve-"$'\xe5\x90\x8d\xe5\x89\x8d'".txt")"

# Three entries; the second's CRC-32 in the central directory is off by one bit.
python3 - "$dir/bad.zip" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    for name in ("one", "two", "three"):
        z.writestr(name, (name + "\n") * 100)
data = bytearray(open(sys.argv[1], "rb").read())
second = data.find(b"PK\x01\x02", data.find(b"PK\x01\x02") + 4)
data[second + 16] ^= 1
open(sys.argv[1], "wb").write(data)
PY
failure=$'failure\t8\tInvalid size or check sum of file or unsupported compression format - Native error: 00008'
run() {  # dest, options...
  local dest=$1
  shift
  "$unzip" "$@" "$dir/bad.zip" "$dir/$dest" | grep -v '^progress'
  echo "exit=${PIPESTATUS[0]} files=$(ls "$dir/$dest" | tr '\n' ' ')"
}
check "abort" "$failure"$'\n'"exit=0 files=one " "$(run abort)"
check "ignore" "$failure"$'\n'"exit=0 files=one three " "$(run ignore --on-failure=ignore)"
check "retry-once" "$failure"$'\n'"$failure"$'\n'"exit=0 files=one " \
  "$(run retry --on-failure=retry-once)"
check "extract-corrupted" "exit=0 files=one three two " "$(run kept --extract-corrupted)"

printf '<html><body>Not Found</body></html>\n' >"$dir/page.zip"
"$unzip" "$dir/page.zip" "$dir/page" >"$dir/out" 2>"$dir/err"
check "not an archive" "1 EZipException: Invalid archive file. - Native error: 00035" \
  "$? $(cat "$dir/err")"
"$unzip" --list >/dev/null 2>&1
check "usage" "2" "$?"
exit $fail
