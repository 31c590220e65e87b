#!/usr/bin/env bash
# tools/new-wineprefix: two prefixes made from one pristine prefix share its programs but
# nothing a program writes, link the user's folders to their own HOME, and a prefix made again
# over an old one starts clean.
# Usage: test_new_wineprefix.sh LOADER SCRATCH_DIR     (WINEARCH and the rest from the caller)
set -euo pipefail

loader=$1
scratch=$2
new_wineprefix=$(dirname "$(realpath "$0")")/new-wineprefix
rm -rf "$scratch"
mkdir -p "$scratch/home-a" "$scratch/home-b"

failed=0
expect() { # WHAT COMMAND...: the command succeeds
    if ! "${@:2}"; then
        echo "FAIL: $1" >&2
        failed=$((failed + 1))
    fi
}
in_prefix() { # NAME COMMAND...: a Wine program in prefix NAME, its server gone after it
    local name=$1
    shift
    WINEPREFIX="$scratch/$name" "$loader" "$@" >/dev/null 2>&1
    local status=$?
    WINEPREFIX="$scratch/$name" wineserver --wait
    return $status
}
fails() { ! "$@"; }
links() { stat -c %h "$1"; }
key=HKCU\\Software\\BrawlhuePrefixProbe

HOME="$scratch/home-a" "$new_wineprefix" "$scratch/a" "$loader"
HOME="$scratch/home-b" "$new_wineprefix" "$scratch/b" "$loader"
user_folders="drive_c/users/$(id -un)"
expect "the registry is the prefix's own" test "$(links "$scratch/a/system.reg")" -eq 1
expect "the libraries are shared" test "$(links "$scratch/a/drive_c/windows/system32/kernel32.dll")" -ge 3
expect "a's Desktop is in a's HOME" test "$(readlink "$scratch/a/$user_folders/Desktop")" = "$scratch/home-a"
expect "b's Desktop is in b's HOME" test "$(readlink "$scratch/b/$user_folders/Desktop")" = "$scratch/home-b"

expect "a key written in a" in_prefix a reg add "$key" /f
expect "is in a" in_prefix a reg query "$key"
expect "and not in b" fails in_prefix b reg query "$key"
HOME="$scratch/home-a" "$new_wineprefix" "$scratch/a" "$loader"
expect "nor in a made again" fails in_prefix a reg query "$key"

rm -rf "$scratch"
echo "new-wineprefix: $failed failed"
[[ $failed -eq 0 ]]
