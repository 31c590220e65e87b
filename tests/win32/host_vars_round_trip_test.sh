#!/usr/bin/env bash
# The on/off flag, the palette and the spoken tags that one brawlhost run stores through --vars
# are what the next run connects with; --off starts a session with colouring off, and --palette
# and --tags with those choices.
# Usage: host_vars_round_trip_test.sh WINE_RUN BRAWLHOST
set -euo pipefail

wine_run=$1
brawlhost=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

failed=0
fail() {
    echo "FAIL: $*" >&2
    failed=1
}
host() { "$wine_run" "$brawlhost" "$@"; }
stored_flag() { grep -P '^BrawlhuePlugin\tMeleeEnabled\t' vars.txt | cut -f3-; }
# stored FILE NAME: the value and default of the plug-in's variable NAME in FILE.
stored() { grep -P "^BrawlhuePlugin\t$2\t" "$1" | cut -f3- || true; }

printf "You hit the troll's head\n> You hit the troll's head\n" >combat.log
{ echo '#brawlhue off'; cat combat.log; } >off.log
{ echo '#brawlhue on'; cat combat.log; } >on.log

# A session that never saw the plug-in colours.
host --lines-only combat.log >fresh.out
cmp -s combat.log fresh.out && fail "a fresh session left the combat lines plain"

# Switched off: the lines after the command stay plain, and the flag is stored.
host off.log >off_shown.out
grep -qx 'Brawlhue has been disabled.' off_shown.out || fail "no confirmation of '#brawlhue off'"
grep -q ', v 1\.4\.3, ' off_shown.out || fail "no banner at connect"
host --vars vars.txt --lines-only off.log >off.out
cmp -s combat.log off.out || fail "lines after '#brawlhue off' were changed"
[[ "$(stored_flag)" == $'False\tFalse' ]] || fail "stored flag after off: '$(stored_flag)'"

# The next run connects with colouring off.
host --vars vars.txt --lines-only combat.log >next.out
cmp -s combat.log next.out || fail "the run after '#brawlhue off' coloured lines"
[[ "$(stored_flag)" == $'False\tFalse' ]] || fail "stored flag after the next run: '$(stored_flag)'"

# Switched on again, and stored so.
host --vars vars.txt --lines-only on.log >on.out
cmp -s combat.log on.out && fail "lines after '#brawlhue on' stayed plain"
[[ "$(stored_flag)" == $'True\tTrue' ]] || fail "stored flag after on: '$(stored_flag)'"
host --vars vars.txt --lines-only combat.log >again.out
cmp -s on.out again.out || fail "the run after '#brawlhue on' did not colour as it did"

# --off overrides whatever the session had stored.
host --off --vars vars.txt --lines-only combat.log >forced_off.out
cmp -s combat.log forced_off.out || fail "--off coloured lines"
host --off --lines-only combat.log >off_alone.out
cmp -s combat.log off_alone.out || fail "--off without --vars coloured lines"

# Palette and tags chosen by command are stored at once, and the next run connects with them.
{ echo '#brawlhue palette colourblind'; echo '#brawlhue tags on'; cat combat.log; } >chosen.log
host --vars chosen.txt chosen.log >chosen_shown.out
grep -qx 'Brawlhue: Palette colourblind in use.' chosen_shown.out ||
    fail "no confirmation of '#brawlhue palette colourblind'"
grep -qx 'Brawlhue: Spoken tags on.' chosen_shown.out || fail "no confirmation of '#brawlhue tags on'"
[[ "$(stored chosen.txt MeleePalette)" == $'colourblind\tcolourblind' ]] ||
    fail "stored palette: '$(stored chosen.txt MeleePalette)'"
[[ "$(stored chosen.txt MeleeTags)" == $'True\tTrue' ]] ||
    fail "stored tags: '$(stored chosen.txt MeleeTags)'"
host --vars chosen.txt --lines-only combat.log >chosen_next.out
host --palette colourblind --tags --lines-only combat.log >chosen_options.out
cmp -s chosen_next.out chosen_options.out ||
    fail "the run after the choices differs from --palette colourblind --tags"
cmp -s fresh.out chosen_next.out && fail "the stored choices coloured as the defaults do"
# A session that never chose keeps no choice.
host --vars fresh.txt --lines-only combat.log >/dev/null
[[ -z "$(stored fresh.txt MeleePalette)$(stored fresh.txt MeleeTags)" ]] ||
    fail "a connect stored choices nobody made"

exit $failed
