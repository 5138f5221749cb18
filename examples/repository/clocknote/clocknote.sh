#!/bin/sh
# Clock Note: notes the time it was started in last-run.txt beside itself and shows it.
here=$(cd "$(dirname "$0")" && pwd)
stamp=$(date '+%Y-%m-%d %H:%M:%S')
echo "Clock Note started at $stamp" >"$here/last-run.txt"
echo "Clock Note started at $stamp"
