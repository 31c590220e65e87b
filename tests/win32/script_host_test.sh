#!/usr/bin/env bash
# Runs the JScript test under Wine's own script host, with the stand-in host registered for the
# script's process. Usage: script_host_test.sh WINE_RUN BIN_DIR SCRIPT
set -euo pipefail
wine_run=$1
bin=$2
script=$3

cd "$bin"
"$wine_run" regsvr32 /s BrawlhueStandinHost.dll
trap '"$wine_run" regsvr32 /u /s BrawlhueStandinHost.dll' EXIT
cp "$script" script_host_test.js
BRAWLHUE_STANDIN_HANDLES="1 7" "$wine_run" cscript //nologo script_host_test.js | tr -d '\r'
