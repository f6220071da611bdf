#!/usr/bin/env bash
# The bash completion run on command lines: commands, option letters, mode letters, host
# paths and the names of the files in the image of -d; the zsh completion parses.
set -euo pipefail
build=$1 source=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
cd "$scratch"
"$build/bin/VELNEW" -d disk.img -o F 1000
echo note >notes.txt && echo x >prog.sav && mkdir mnt
"$build/bin/VELWRI" -d disk.img -o A notes.txt && "$build/bin/VELWRI" -d disk.img -o D prog.sav
head -c 300000 /dev/urandom >bad.img
ln -s "$build/veltool" velrea && ln -s "$build/veltool" veltool
[ -f "$build/velmount" ] && ln -s "$build/velmount" velmount
ln -s "$build/parmdump" parmdump

[ -f /usr/share/bash-completion/bash_completion ] && source /usr/share/bash-completion/bash_completion
source "$source/completion/veltool.bash"

# The words offered (their meaning taken off) for a command line whose last word is completed.
complete_line() {
    COMP_WORDS=("$@") COMP_CWORD=$(($# - 1)) COMP_LINE="$*" COMP_POINT=${#COMP_LINE} COMPREPLY=()
    local function
    function=$(complete -p "${1##*/}" | sed 's/.*-F \([^ ]*\) .*/\1/')
    "$function" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>"$scratch/err"
    [ ! -s "$scratch/err" ] || fail "completion of $* says: $(cat "$scratch/err")"
    ((${#COMPREPLY[@]} == 0)) || printf "%s\n" "${COMPREPLY[@]%%[[ ]*}" | sort | tr "\n" " "
}

while IFS='|' read -r expected line; do
    eval "words=($line)"
    got=$(complete_line "${words[@]}")
    [ "$got" = "$expected" ] || fail "$line: '$got', expected '$expected'"
done <<'ROWS'
PROG.SAV |./velrea -d disk.img PR
NOTES.TXT PROG.SAV |./velrea -d disk.img -- ''
NOTES.TXT |$build/bin/VELDIR -zd disk.img n
NOTES.TXT |./veltool -i lister -d disk.img -r X n
|./velrea -d bad.img ''
|./velrea -d missing.img ''
|$build/bin/VELPTR -d disk.img ''
--help --version -d -e -f -i -o -r -z |./velrea -
--help --version -d -i |$build/bin/VELPTR -
-h |$build/bin/VELLIS -h
dcr dcw ddi del dir dre |./veltool -i d
ren |./veltool -i ren
AB AD AP AR AV |./velrea -o A
B C F N |$build/bin/VELSDI -mo ''
|$build/bin/VELSDI -o F
notes.txt |$build/bin/VELWRI -d disk.img -o V n
notes.txt |./velrea -d disk.img -f n
disk.img |./velrea -wd d
notes.txt |./parmdump n
--help |./parmdump --h
ROWS
if [ -f "$build/velmount" ]; then
    [ "$(complete_line ./velmount -f -o fo)" = "force form=A form=B form=D form=P " ] || fail "velmount -o"
    [ "$(complete_line ./velmount -f disk.img m)" = "mnt " ] || fail "velmount mount point"
    [ "$(complete_line ./velmount d)" = "disk.img " ] || fail "velmount image"
fi
if command -v zsh >/dev/null; then
    zsh -n "$source/completion/_veltool" || fail "_veltool does not parse"
fi
echo "completion test passed"
