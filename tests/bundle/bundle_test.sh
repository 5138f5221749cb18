#!/usr/bin/env bash
# Starts the portable bundle where Qt is not installed: in private mount and network
# namespaces the host's libQt6* files are covered by an empty file and its Qt folders by empty
# ones, the sample repository is served on the bundle's loopback repository host, and the
# bundle runs from a fresh copy under Xvfb until its list shows the catalogue's icons. Every Qt
# library of the executable and its plugins must also resolve inside the bundle, and what they
# need from the host must be on every X11 desktop. With one such library hidden, the bundle
# must name it and end before Qt loads its platform plugin.
# Usage: bundle_test.sh BUNDLE_DIR SOURCE_DIR. Exit 77 (skipped) where Qt can't be hidden.
set -euo pipefail
[ $# -eq 2 ] || { sed -n '2,9p' "$0" >&2; exit 2; }
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

# What a minimal X11 desktop has, Qt or no Qt (a Debian 13 with X11, fontconfig and GL, say):
# the C and C++ runtime, the X11 and xcb core libraries, GL, fontconfig and freetype. Not X11's
# session management (libSM, libICE), the xcb extension libraries, or xkbcommon.
minimal_desktop=" ld-linux-x86-64.so.2 libc.so.6 libm.so.6 libdl.so.2 libpthread.so.0 librt.so.1
  libresolv.so.2 libutil.so.1 libanl.so.1 libmvec.so.1 libstdc++.so.6 libgcc_s.so.1
  libX11.so.6 libX11-xcb.so.1 libxcb.so.1 libXau.so.6 libXdmcp.so.6 libXext.so.6
  libXrender.so.1 libGL.so.1 libEGL.so.1 libGLX.so.0 libOpenGL.so.0 libGLdispatch.so.0
  libfontconfig.so.1 libfreetype.so.6 "
minimal_desktop=$(tr -s ' \n' ' ' <<<"$minimal_desktop")

# Each library that a bundled file (the plugins above all) loads from outside the bundle, and
# each one the bundle's start check looks for, must be on the minimal desktop.
check_host_needs() {
  local elf soname status=0
  while IFS= read -r elf; do
    for soname in $(patchelf --print-needed "$elf"); do
      [ -e "$bundle/lib/$soname" ] || [[ "$minimal_desktop" == *" $soname "* ]] || {
        echo "FAIL: $elf needs $soname, which is neither bundled nor on every X11 desktop" >&2
        status=1
      }
    done
  done < <(find "$bundle" -type f \( -name VarnelTools -o -name '*.so*' \))
  while read -r soname _; do
    [[ "$minimal_desktop" == *" $soname "* ]] ||
      { echo "FAIL: lib/host-libraries.txt expects $soname of the host" >&2; status=1; }
  done <"$bundle/lib/host-libraries.txt"
  return $status
}

if [ "${BUNDLE_TEST_INSIDE:-}" != 1 ]; then
  check_ldd
  check_host_needs
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

# A host library that only the plugins load, hidden in a mount namespace of its own: the start
# check names it, where Qt would only say that its xcb plugin could not be loaded.
plugin=$bundle/plugins/platforms/libqxcb.so
from_host() { ldd "$1" | awk -v b="$bundle/" 'index($3, "/") == 1 && index($3, b) != 1 {print $1}'; }
hidden_lib=$(comm -23 <(from_host "$plugin" | sort) <(ldd "$bundle/VarnelTools" | awk '{print $1}' | sort) |
  grep -xF -f <(awk '{print $1}' "$bundle/lib/host-libraries.txt") | head -n 1)
[ -n "$hidden_lib" ] || { echo "FAIL: no host library that only the plugins load" >&2; exit 1; }
hidden_path=$(ldd "$plugin" | awk -v l="$hidden_lib" '$1 == l {print $3}')
status=0
unshare --mount --propagation private sh -c 'mount --bind "$1" "$2" && exec "$3"' sh "$empty" \
  "$hidden_path" "$work/VarnelTools/VarnelTools" >"$work/start.log" 2>&1 || status=$?
if [ "$status" -ne 1 ] || ! grep -q "^  $hidden_lib (Debian package " "$work/start.log"; then
  echo "FAIL: without $hidden_lib the bundle ended with $status and said:" >&2
  cat "$work/start.log" >&2
  exit 1
fi
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
