#!/usr/bin/env bash
# brawlhost --lines-only, replaying transcripts through Brawlhue.dll, must give the very bytes
# that the native brawlhue command gives for them: the same lines coloured the same way, every
# other byte (CRLF, invalid UTF-8, NUL, a missing final newline) passed through untouched; and so
# with the colourblind palette and spoken tags.
# Usage: host_replay_matches_native_test.sh NATIVE_BRAWLHUE WINE_RUN BRAWLHOST [SESSION_LOG]
set -euo pipefail

native=$1
wine_run=$2
brawlhost=$3
session_log=${4:-}

if [[ ! -x "$native" ]]; then
    echo "FAIL: no native brawlhue at $native (make native builds it)" >&2
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Lines the plug-in colours, lines it leaves, and prompts in front of both.
printf '%s\n' \
    "You hit the troll's head" \
    "> You hit the troll's head" \
    "* HP:Healthy SP:Full MV:Fresh > You slash a Trolloc's body very hard." \
    "o HP:Hurt SP:Full MV:Tired > A Trolloc tries to hit you, but you dodge the attack." \
    "Lan says 'You hit the troll's head'" \
    "> > > " \
    "" \
    "> " >base.log
if [[ -n "$session_log" && -f "$session_log" ]]; then
    cat "$session_log" >>base.log
fi

sed 's/$/\r/' base.log >crlf.log
# A line cut off without its newline, and a lone CR inside and at the end of lines.
{ cat base.log; printf "You hit the troll's head"; } >no_final_newline.log
printf "You hit\rthe troll's head\r\n> You hit the troll's head\r" >lone_cr.log
# Bytes that are no UTF-8: stray continuation, overlong, encoded surrogate, truncated sequence,
# bytes 0xFE/0xFF; next to valid two-, three- and four-byte characters.
printf "You hit the troll\xff\xfe's head\n> You hit the \xc0\xafTroll\xed\xa0\x80's head\n" >invalid.log
printf "You hit the tr\xc3\xb6ll's head \xe2\x82\xac\xf0\x9f\x97\xa1\n\x80\xbf> \xe2\x82\n" >>invalid.log
printf "You hit the troll's head \xf4\x90\x80\x80\n\xc3" >>invalid.log
# NUL inside a coloured line, inside a prompt, alone. (Not "nul.log": Windows reads NUL.* as
# the null device.)
printf "You hit the tro\0ll's head\n> You hit the troll's head\0\n\0You hit the troll's head\n" \
    >nul_bytes.log
printf "> \0\n\0\n" >>nul_bytes.log
: >empty.log
printf '\n\n' >blank_lines.log

coloured_somewhere=0
failed=0
# compare NAME TRANSCRIPT [OPTIONS...]: both commands with the same options, into NAME.native and
# NAME.host.
compare() {
    local name=$1 transcript=$2
    shift 2
    "$native" "$@" "$transcript.log" >"$name.native"
    "$wine_run" "$brawlhost" --lines-only "$@" "$transcript.log" >"$name.host"
    if ! cmp -s "$name.native" "$name.host"; then
        echo "FAIL $name: brawlhost and brawlhue differ" >&2
        cmp "$name.native" "$name.host" >&2 || true
        diff <(od -c "$name.native") <(od -c "$name.host") | head -20 >&2 || true
        failed=1
    fi
}
for transcript in base crlf no_final_newline lone_cr invalid nul_bytes empty blank_lines; do
    compare "$transcript" "$transcript"
    if ! cmp -s "$transcript.log" "$transcript.native"; then
        coloured_somewhere=1
    fi
done
if [[ $coloured_somewhere -eq 0 ]]; then
    echo "FAIL: no transcript was coloured at all, so the comparison proves nothing" >&2
    failed=1
fi

# A palette and the spoken tags: brawlhost stores them as the session's choices, so they reach
# the plug-in through its own connect. The transcripts with something to colour.
for transcript in base crlf no_final_newline lone_cr invalid nul_bytes; do
    compare "$transcript.chosen" "$transcript" --palette colourblind --tags
done
if cmp -s base.native base.chosen.native; then
    echo "FAIL: --palette colourblind --tags changed nothing, so the comparison proves nothing" >&2
    failed=1
fi
exit $failed
