#!/usr/bin/env bash
# Runs varnel-fetch against python3's http.server on 127.0.0.1 and checks exit codes, the
# file written and the one stderr line "<ExceptionClass>: <message>" with CR and LF escaped.
set -u
fetch=$1
dir=$(mktemp -d)
server=""
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
fail=0
check() {  # name, expected, actual
  if [ "$2" != "$3" ]; then
    printf 'FAIL %s\n  expected: %q\n  actual:   %q\n' "$1" "$2" "$3"
    fail=1
  fi
}
free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

mkdir "$dir/www"
head -c 200000 /dev/urandom >"$dir/www/archive.zip"
for attempt in 1 2 3; do
  port=$(free_port)
  python3 -m http.server --bind 127.0.0.1 --directory "$dir/www" "$port" >"$dir/server.log" 2>&1 &
  server=$!
  for _ in $(seq 100); do
    "$fetch" "http://127.0.0.1:$port/archive.zip" "$dir/probe" 2>/dev/null && break 2
    kill -0 "$server" 2>/dev/null || break
    sleep 0.05
  done
  kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; server=""
done
[ -n "$server" ] || { echo "python3 http.server did not start"; cat "$dir/server.log"; exit 1; }
base="http://127.0.0.1:$port"

run() {  # url, file -> sets rc and err
  "$fetch" "$1" "$2" 2>"$dir/err"
  rc=$?
  err=$(cat "$dir/err")
}

run "$base/archive.zip" "$dir/out.zip"
check "success exit code" 0 "$rc"
check "success is silent" "" "$err"
cmp -s "$dir/www/archive.zip" "$dir/out.zip" || { echo "FAIL file differs"; fail=1; }

run "$base/missing.zip" "$dir/missing.zip"
check "404 exit code" 1 "$rc"
check "404 line" "EHttpProtocolException: HTTP/1.0 404 File not found" "$err"
check "404 leaves an empty file" 0 "$(stat -c %s "$dir/missing.zip")"

run "http://127.0.0.1:$(free_port)/x.zip" "$dir/refused.zip"
check "refused exit code" 1 "$rc"
check "refused line" 'ESocketError: Socket Error # 10061\r\nConnection refused.' "$err"
check "one line only" 1 "$(wc -l <"$dir/err")"

run "https://127.0.0.1:$port/x.zip" "$dir/tls.zip"
check "https to a plain server" "ETlsError: TLS handshake with 127.0.0.1 failed: wrong version number" "$err"

run "$base/archive.zip" "$dir/no/such/folder/x.zip"
check "uncreatable exit code" 1 "$rc"
case "$err" in
  "EFCreateError: Cannot create file \"$dir/no/such/folder/x.zip\". "*) ;;
  *) echo "FAIL uncreatable line: $err"; fail=1 ;;
esac

"$fetch" only-one-argument 2>/dev/null
check "usage exit code" 2 "$?"

[ $fail -eq 0 ] && echo "fetch tool: ok"
exit $fail
