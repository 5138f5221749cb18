#!/bin/sh
# System Info: a short report on this machine, written to report.txt beside itself.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/report.sh"
report | tee "$here/report.txt"
