#!/usr/bin/env bash
# Runs varnel-repo build, check and keygen on the sample repository and checks exit codes,
# stdout and the one stderr line of a failure; the openssl command verifies what it signs.
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
# Keys and signing, with the openssl command as the independent verifier.
"$repo" keygen "$dir/key.pem" >"$dir/public" 2>&1
check "keygen exits 0, owner-only PKCS#8" "0:-rw-------:ED25519 Private-Key:" \
  "$?:$(stat -c %A "$dir/key.pem"):$(openssl pkey -in "$dir/key.pem" -noout -text | head -1)"
"$repo" keygen "$dir/key.pem" >/dev/null 2>&1
check "keygen never replaces a key" 1 $?
"$repo" build "$source" "$dir/signed" http://127.0.0.1:8731 --sign "$dir/key.pem" \
  --valid-days 2 >"$dir/stdout" 2>&1
check "build --sign exits 0" "0:" "$?:$(cat "$dir/stdout")"
sig=$dir/signed/tools/software.zip.sig
serial=$(sed -n 's/^serial: //p' "$sig")
check "the serial is the build time, the expiry two days on" \
  "expires: $(date -u -d "@$((serial + 172800))" +%FT%TZ):sha256: $(sha256sum \
  "$dir/signed/tools/software.zip" | cut -c1-64)" "$(sed -n 2p "$sig"):$(sed -n 3p "$sig")"
head -3 "$sig" >"$dir/lines"
sed -n 's/^signature: //p' "$sig" | base64 -d >"$dir/signature"
(printf '\x30\x2a\x30\x05\x06\x03\x2b\x65\x70\x03\x21\x00' && base64 -d "$dir/public") |
  openssl pkey -pubin -inform DER -out "$dir/public.pem"
openssl pkeyutl -verify -pubin -inkey "$dir/public.pem" -rawin -in "$dir/lines" \
  -sigfile "$dir/signature" >"$dir/stdout" 2>&1
check "openssl verifies the signature" "0:Signature Verified Successfully" "$?:$(cat "$dir/stdout")"
"$repo" check "$dir/signed" --key "$(cat "$dir/public")" >"$dir/stdout" 2>&1
check "check --key of the signed build" "0:" "$?:$(cat "$dir/stdout")"

# A key made by openssl signs too; the other key's check reports the one defect.
openssl genpkey -algorithm ed25519 -out "$dir/openssl.pem"
"$repo" build "$source" "$dir/signed" http://h --sign "$dir/openssl.pem" --serial 7 >/dev/null 2>&1
"$repo" check "$dir/signed" --key "$(cat "$dir/public")" >"$dir/stdout" 2>&1
check "a foreign key" \
  "1:software.zip.sig: The catalogue's signature does not match this program's repository key" \
  "$?:$(cat "$dir/stdout")"
check "--serial" "serial: 7" "$(head -1 "$sig")"
"$repo" build "$source" "$dir/signed" http://h >/dev/null 2>&1
check "an unsigned build removes the old signature" "0:" "$?:$(ls "$dir/signed/tools" | grep sig)"
"$repo" build "$source" "$dir/signed" http://h --serial 7 >/dev/null 2>&1
check "--serial without --sign is a usage error" 2 $?
exit $fail
