#!/usr/bin/env bash
# A bounded fuzz run for CTest. Usage: smoke.sh FUZZER FOLDER [LIBFUZZER-OPTION...]
# FOLDER may hold corpus/ (seed inputs), seed.py (writes more seeds into the folder it is
# given) and regressions/ (inputs that once failed, each replayed before the run).
# Non-zero when an input crashes, leaks, hangs or grows memory past the limits; the input is
# kept beside the fuzzer in fuzz-artifacts/.
set -u
fuzzer=$1
folder=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
artifacts="$(dirname "$fuzzer")/fuzz-artifacts/"
mkdir -p "$work/corpus" "$artifacts"
# libFuzzer adds new inputs to its first corpus folder, so the seeds are copied first.
[ -d "$folder/corpus" ] && cp "$folder"/corpus/* "$work/corpus/"
[ -f "$folder/seed.py" ] && python3 "$folder/seed.py" "$work/corpus"
limits=(-rss_limit_mb=1024 -malloc_limit_mb=512 -timeout=10 -artifact_prefix="$artifacts")
if [ -d "$folder/regressions" ]; then
  "$fuzzer" "${limits[@]}" "$folder"/regressions/* >"$work/regressions.log" 2>&1 ||
    { tail -n 40 "$work/regressions.log"; exit 1; }
fi
"$fuzzer" "${limits[@]}" -seed=1 "$@" "$work/corpus" >"$work/fuzz.log" 2>&1 ||
  { tail -n 40 "$work/fuzz.log"; exit 1; }
tail -n 1 "$work/fuzz.log"
