#!/usr/bin/env bash
# Runs varnel-repo build and check on the sample repository and checks exit codes, stdout and
# the one stderr line of a failure.
set -u
repo=$1
source=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0
check() {  # name, expected, actual
  if [ "$2" != "$3" ]; then
    printf 'FAIL %s\n  expected: %q\n  actual:   %q\n' "$1" "$2" "$3"
    fail=1
  fi
}

"$repo" >/dev/null 2>&1
check "usage exits 2" 2 $?
"$repo" build "$source" "$dir/out" http://127.0.0.1:8731 >"$dir/stdout" 2>"$dir/stderr"
check "build exits 0" "0:" "$?:$(cat "$dir/stdout" "$dir/stderr")"
"$repo" check "$dir/out" >"$dir/stdout" 2>&1
check "check of the build exits 0 and prints nothing" "0:" "$?:$(cat "$dir/stdout")"

# One record's web page that is no web address: one report line, exit 1.
mkdir "$dir/cat"
(cd "$dir/cat" && unzip -q "$dir/out/tools/software.zip" &&
  sed -i 's|^https://example.org/dice\r$|mailto:dice@example.org\r|' software.dat &&
  zip -q "$dir/out/tools/software.zip" software.dat)
"$repo" check "$dir/out" >"$dir/stdout" 2>"$dir/stderr"
check "a defect exits 1" 1 $?
check "its report line" \
  'software.dat:16: the web page "mailto:dice@example.org" is not an http:// or https:// address' \
  "$(cat "$dir/stdout" "$dir/stderr")"

"$repo" check "$dir/missing" >"$dir/stdout" 2>"$dir/stderr"
check "a missing catalogue exits 1" 1 $?
check "with one failure line" \
  "EZipException: File \"$dir/missing/tools/software.zip\" not found - Native error: 00012" \
  "$(cat "$dir/stdout" "$dir/stderr")"
exit $fail
