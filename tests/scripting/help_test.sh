#!/usr/bin/env bash
# --help and --version of veltool under every name, of parmdump and velmount: status 0, the
# synopsis first, exactly the option letters the command takes; runs without them unchanged.
set -euo pipefail
build=$1 version=$3
fail() { echo "FAIL: $*" >&2; exit 1; }
letters_of() { grep -o '^  -[a-z]' <<<"$1" | tr -d ' -' | sort | tr -d '\n'; }

# Each command and the letters it takes besides -d and -i.
for row in NEW:ocbf DIR:orz DEL:orz REN:oglusancrz COP:orz REA:oferz WRI:o SCR:f SCW:of PTR: PTW:o DCR: \
    DCW:c OLD:f DRE:ob PAC:o DDI:orz REV:orz RES:o SDI:omtwrz LIS:ohrz FIX:o SUM:orz OCT:orz; do
    name=${row%%:*} letters=${row#*:}
    out=$("$build/bin/VEL$name" --help) || fail "VEL$name --help ends with an error"
    [[ $out == "usage: VEL$name -d image [options]"* ]] || fail "VEL$name --help: ${out%%$'\n'*}"
    expected=$(echo "di$letters" | fold -w1 | sort | tr -d '\n')
    [ "$(letters_of "$out")" = "$expected" ] || fail "VEL$name --help shows -$(letters_of "$out"), not -$expected"
    [ "$("$build/veltool" -wi "${name,,}ectory" -d x --help)" = "$out" ] || fail "veltool -i ${name,,} --help"
done

# The list of commands for veltool itself and for a name that is no command.
for run in "$build/veltool --help" "$build/veltool -i xyz --help" "$build/veltool -d x --help -- y"; do
    out=$($run) || fail "$run ends with an error"
    [ "$(grep -cE '^  [a-z]{3}  ' <<<"$out")" = 24 ] || fail "$run does not list the 24 commands"
done
[ "$("$build/bin/VELSUM" -d x -f y --version)" = "veltool $version" ] || fail "veltool --version"
[ "$("$build/parmdump" --version)" = "parmdump $version" ] || fail "parmdump --version"
[[ $("$build/parmdump" --help) == "usage: parmdump [--json] filename"* ]] || fail "parmdump --help"

# After "--" they are arguments, and a run without them is as it was.
out=$("$build/bin/VELDIR" -- --help 2>&1) && fail "VELDIR -- --help succeeds"
[ "$out" = "ERROR: VELTRA disk image filename not specified" ] || fail "VELDIR -- --help: $out"
for words in "-c --help" "-dc x --help" "x --help"; do # a value, and a word after the options
    out=$("$build/bin/VELDIR" $words 2>&1) && fail "VELDIR $words succeeds"
    [[ $out == ERROR:* ]] || fail "VELDIR $words: $out"
done
[ "$("$build/parmdump" -- --help)" = "Cannot open --: No such file or directory" ] || fail "parmdump -- --help"

if [ -f "$build/velmount" ]; then
    [[ $("$build/velmount" -f --help) == "usage: velmount [-o form=B|D|A|P] [-o force] [-f] disk.img MOUNTPOINT"$'\n'* ]] ||
        fail "velmount --help"
    [ "$("$build/velmount" --version)" = "velmount $version" ] || fail "velmount --version"
fi
echo "help test passed"
