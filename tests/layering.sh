#!/usr/bin/env bash
# Fails when a layer reaches across or above itself: Qt outside app/ and the list-drawing
# file, http/ and zip/ including each other, an engine including the layers above it, or the
# file system reached beside platform/'s interface (std::filesystem outside platform/, or a
# file call of the OS outside its POSIX implementation and the file stream), or OpenSSL's TLS
# headers outside the TLS I/O handler.
# repository/ sits beside actions/: of it, it uses only the downloads the program uses (the
# file, and the catalogue's signature).
set -u
cd "$1" || exit 2
bad=0
report() { echo "$1"; bad=1; }
while IFS= read -r hit; do report "Qt outside app/: $hit"; done < <(
  grep -rnE '#include *<Q' platform catalog http zip actions repository tools 2>/dev/null |
    grep -v '^catalog/ListDrawing\.')
while IFS= read -r hit; do report "http/ includes zip/: $hit"; done < <(
  grep -rnE '#include *"zip/' http 2>/dev/null)
while IFS= read -r hit; do report "zip/ includes http/: $hit"; done < <(
  grep -rnE '#include *"http/' zip 2>/dev/null)
while IFS= read -r hit; do report "std::filesystem outside platform/: $hit"; done < <(
  grep -rnE '#include *<filesystem>|std::filesystem' app catalog http zip actions tools fuzz 2>/dev/null)
while IFS= read -r hit; do report "file call beside the file system: $hit"; done < <(
  grep -rnE '::(opendir|readdir|lstat|mkdir|rmdir|unlink|rename|chmod|utimensat|mkstemp)\(|std::[io]?fstream|std::filesystem|<filesystem>' \
    platform catalog http zip actions repository tools 2>/dev/null |
    grep -vE '^platform/(FileSystemPosix|StreamsPosix)\.cpp:')
while IFS= read -r hit; do report "OpenSSL's TLS headers outside http/TlsIOHandler.cpp: $hit"; done < <(
  grep -rnE '#include *<openssl/(ssl|ssl2|ssl3|tls1|dtls1|sslerr)\.h>' \
    platform catalog http zip actions repository tools app fuzz tests 2>/dev/null |
    grep -v '^http/TlsIOHandler\.cpp:')
while IFS= read -r hit; do report "engine includes a layer above it: $hit"; done < <(
  grep -rnE '#include *"(app|actions|catalog|repository)/' platform http zip 2>/dev/null
  grep -rnE '#include *"(app|actions|repository)/' catalog 2>/dev/null
  grep -rnE '#include *"(app|repository)/' actions 2>/dev/null
  grep -rnE '#include *"app/' repository 2>/dev/null
  grep -rnE '#include *"actions/' repository 2>/dev/null | grep -vE '"actions/(DownloadToFile|SignatureDownload)\.h"')
[ $bad -eq 0 ] && echo "layering: ok"
exit $bad
