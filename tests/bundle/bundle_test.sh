#!/usr/bin/env bash
# Starts the portable bundle where Qt is not installed: in private mount and network
# namespaces the host's libQt6* files are covered by an empty file and its Qt folders by empty
# ones, the sample repository is served on the bundle's loopback repository host, and the
# bundle runs from a fresh copy under Xvfb until its list shows the catalogue's icons. Every Qt
# library of the executable and its plugins must also resolve inside the bundle.
# Usage: bundle_test.sh BUNDLE_DIR SOURCE_DIR. Exit 77 (skipped) where Qt can't be hidden.
set -euo pipefail
[ $# -eq 2 ] || { sed -n '2,7p' "$0" >&2; exit 2; }
skip() { echo "SKIPPED: $*" >&2; exit 77; }
bundle=$(cd "$1" 2>/dev/null && pwd) || skip "no bundle at $1; run scripts/package first"
source_dir=$(cd "$2" && pwd)

# Every Qt library that the executable and the plugins load must come from the bundle.
check_ldd() {
  local elf line status=0
  while IFS= read -r elf; do
    while IFS= read -r line; do
      case "$line" in
        *"not found"*) echo "FAIL: $elf: $line" >&2; status=1 ;;
        *libQt6*"=> $bundle/"*) ;;
        *libQt6*) echo "FAIL: $elf loads Qt from outside the bundle: $line" >&2; status=1 ;;
      esac
    done < <(ldd "$elf")
  done < <(find "$bundle" -type f \( -name VarnelTools -o -name '*.so*' \))
  return $status
}

if [ "${BUNDLE_TEST_INSIDE:-}" != 1 ]; then
  check_ldd
  [ "$(id -u)" -eq 0 ] ||
    skip "not root, so the host's Qt can't be hidden and the bundle was not started"
  unshare --mount --net true 2>/dev/null ||
    skip "unshare --mount --net is not permitted here, so the bundle was not started"
  exec env BUNDLE_TEST_INSIDE=1 unshare --mount --net --propagation private "$0" "$@"
fi

# Inside the namespaces: hide Qt, then start the bundle on its own loopback.
ip link set lo up
empty=$(mktemp)
work=$(mktemp -d)
trap 'kill "${server:-}" 2>/dev/null || true; rm -rf "$work" "$empty"' EXIT
hidden=0
while IFS= read -r lib; do
  mount --bind "$empty" "$lib"
  hidden=$((hidden + 1))
done < <(find /usr/lib /lib /usr/local/lib -name 'libQt6*' -type f 2>/dev/null | sort -u)
while IFS= read -r dir; do mount -t tmpfs none "$dir"; done < <(
  find /usr/lib /usr/local/lib -maxdepth 3 -type d -name qt6 2>/dev/null)
for lib in /usr/lib/*/libQt6Core.so.6 /usr/lib/*/qt6/plugins/platforms/libqxcb.so; do
  [ ! -s "$lib" ] || { echo "FAIL: $lib is still readable" >&2; exit 1; }
done
check_ldd

# The repository host is built into the executable; serve the sample repository there.
url=$(grep -ao 'http://[^/]*/tools/software.zip' "$bundle/VarnelTools" | head -n 1)
host=${url#http://}
host=${host%%/*}
case "$host" in
  127.0.0.1:*) port=${host#127.0.0.1:} ;;
  *) skip "the bundle's repository host $host is not a loopback address with a port" ;;
esac
"$source_dir/scripts/serve-repository" "$work/server" "$port" >"$work/server.log" 2>&1 &
server=$!
for _ in $(seq 100); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.1
done

cp -a "$bundle" "$work/VarnelTools"
unset QT_QPA_PLATFORM QT_PLUGIN_PATH QT_QPA_PLATFORM_PLUGIN_PATH LD_LIBRARY_PATH
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
# The background colours of the sample icons (scripts/make-icons).
colours="1E88E5 E53935 6D4C41 757575 8E24AA 43A047 FB8C00 00897B"
cat >"$work/watch.sh" <<WATCH
"$work/VarnelTools/VarnelTools" >"$work/app.log" 2>&1 &
app=\$!
for _ in \$(seq 60); do
  sleep 0.5
  if ! kill -0 \$app 2>/dev/null; then
    echo "FAIL: the bundle ended early" >&2
    cat "$work/app.log" >&2
    exit 1
  fi
  import -window root "$work/screen.png" 2>/dev/null || continue
  seen=\$(convert "$work/screen.png" -unique-colors -depth 8 txt:- |
    grep -c -i -E '#($(tr ' ' '|' <<<"$colours"))' || true)
  [ "\$seen" -eq $(wc -w <<<"$colours") ] && { kill \$app; exit 0; }
done
kill \$app
echo "FAIL: the list did not show the catalogue's icons within 30 s" >&2
cat "$work/app.log" >&2
exit 1
WATCH
xvfb-run -a -s "-screen 0 800x600x24" bash "$work/watch.sh"
[ -f "$work/VarnelTools/data/software.dat" ] ||
  { echo "FAIL: no data/software.dat beside the executable" >&2; exit 1; }
echo "The bundle filled its list with the host's $hidden Qt library files hidden."
