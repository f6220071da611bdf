#!/usr/bin/env bash
# Times veltool's data-moving jobs against the tools that move the same bytes (cp, dd, cat,
# cksum, tr, and the mtools FAT commands where installed) and prints one table: job, rounds,
# veltool's time, the anchor's, their ratio, the median and spread of the rounds' ratios, the
# goal for the ratio, and veltool's peak memory.
#
# Each row is timed in rounds: one hyperfine call per round runs every command of the row once,
# one after the other, from the same state (the outputs of the runs before removed, the row's own
# preparation done, nothing left for the kernel to write back), so that the commands take turns.
# The rounds of all rows are spread over the whole run, each next round going to the row that
# has had the least time, until every row has had BENCH_SECONDS seconds (45) and 30 rounds: a
# change of the machine's speed that lasts minutes then falls on all rows alike. A command's
# time is the tenth percentile of its rounds (on a shared machine what gets in a run's way only
# adds time), a ratio the ratio of those times; beside it the median of the rounds' ratios and
# their middle half, the spread.
#
#   bash bench/run.sh            # full sizes: 64 MiB files, a 1 GiB free area, 7679 files
#   bash bench/run.sh --quick    # one run each on small sizes (what CI runs)
#
# Run as root, it drops the whole machine's page cache twice: before the workloads are made and
# before the first round (see settle).
#
# Needs hyperfine and GNU time (/usr/bin/time); BENCH_DIR names the folder for the workloads
# (default: a fresh one under /tmp, removed at the end). Times never make it fail.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

quick=false
[ "${1:-}" = "--quick" ] && quick=true
if $quick; then
    min_rounds=1 seconds=0 warmup=0 data_mib=4 free_mib=32 files=300
else
    min_rounds=30 seconds=${BENCH_SECONDS:-45} warmup=1 data_mib=64 free_mib=1024 files=7679
fi
file_sectors=4 # data sectors of each of the many small files

for tool in hyperfine /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "bench: $tool is needed (Debian: hyperfine, time)" >&2; exit 1; }
done
fat=true
if ! command -v mcopy >/dev/null || ! command -v mkfs.fat >/dev/null; then
    fat=false
fi
export MTOOLS_SKIP_CHECK=1 LC_ALL=C TZ=UTC

# The build folder the tests use, configured as they configure it (the same Python).
python=()
[ ! -x /usr/bin/python3 ] || python=(-DPython3_EXECUTABLE=/usr/bin/python3)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${python[@]}" >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target veltool >/dev/null
# The mount's rows where velmount builds and FUSE can be used here.
mount=false
if [ -w /dev/fuse ] && command -v fusermount3 >/dev/null &&
    cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target velmount >/dev/null 2>&1; then
    mount=true
else
    echo "note: velmount or FUSE missing, the mount rows are skipped" >&2
fi
export PATH="$root/build/bin:$PATH"

if [ -n "${BENCH_DIR:-}" ]; then
    work=$BENCH_DIR
    mkdir -p "$work"
else
    work=$(mktemp -d /tmp/veltool-bench.XXXXXX)
    trap 'unmount; rm -rf "$work"' EXIT
fi
cd "$work"
unmount() {
    local point
    for point in "$work/mnt" "$work/data_mnt"; do
        ! mountpoint -q "$point" || fusermount3 -u "$point" || fusermount3 -uz "$point"
    done
}
[ -n "${BENCH_DIR:-}" ] && trap unmount EXIT
rm -rf out && mkdir out

# settle: the kernel's page cache emptied and its free memory compacted, where this user may
# (root): every run then starts from the same state of the machine's memory, not from what
# the run before it left.
settle() {
    sync
    if [ -w /proc/sys/vm/drop_caches ]; then
        echo 3 >/proc/sys/vm/drop_caches
        [ ! -w /proc/sys/vm/compact_memory ] || echo 1 >/proc/sys/vm/compact_memory
    elif [ -z "${settle_noted:-}" ]; then
        settle_noted=1
        echo "note: the page cache cannot be dropped here (root only): two runs may differ more" >&2
    fi
}
settle

mib=$((1024 * 1024))
sectors_for() { echo $(($1 / 768 + 2000)); } # an image that holds $1 bytes and a directory

# ---- workloads ----------------------------------------------------------------------------
head -c $((data_mib * mib)) /dev/urandom >data.bin
head -c $((data_mib * mib * 3 / 4)) /dev/urandom | base64 -w 76 >text.txt
VELNEW -d empty.img -o F $(sectors_for $((3 * data_mib * mib)))
cp empty.img filled.img
VELWRI -d filled.img -o D data.bin
VELWRI -d filled.img -o A text.txt

# An image whose free area holds the data of deleted files.
VELNEW -d scan.img -o F $(sectors_for $((free_mib * mib)))
mkdir -p deleted
for i in $(seq -w 1 $((free_mib / data_mib - 1))); do ln -f data.bin deleted/D$i.BIN; done
VELWRI -d scan.img -o D deleted/*
VELDEL -d scan.img 'D*.BIN'

# A full directory of small files, the same image with every other file deleted, and the
# one-byte files.
head -c $((file_sectors * 768)) /dev/urandom >small.bin
mkdir -p small one
for i in $(seq -w 1 "$files"); do
    ln -f small.bin small/F$i.DAT
    printf x >one/O$i.DAT
done
full_sectors=$(sectors_for $((files * (file_sectors + 1) * 768)))
VELNEW -d empty256.img -o F -b 256 "$full_sectors"
cp empty256.img full.img
VELWRI -d full.img -o D small/*
cp full.img fragmented.img
VELDEL -d fragmented.img $(seq -f 'F%0'${#files}'.0f.DAT' 2 2 "$files")
moved_files=$(((files - 1) / 2))
head -c $((moved_files * (file_sectors + 1) * 768)) /dev/urandom >moved.bin
directory_bytes=$(((192 + 128) * 768))

if $fat; then
    fat_kib=$(((2 * data_mib + 64) * 1024))
    rm -f fat.img fatempty.img
    mkfs.fat -F 32 -C fat.img "$fat_kib" >/dev/null
    mcopy -i fat.img data.bin ::DATA.BIN
    mkfs.fat -F 32 -C fatempty.img 65536 >/dev/null
    cp fatempty.img fatfull.img
    mcopy -i fatfull.img small/* ::/
fi
# The workloads' gigabytes on the disk before any timing, not written back during it, and
# their pages as those of files read from the disk: the kernel's cache dropped and every
# workload read back in. The pages the writes that made a file left behind lie as those
# writes happened to fall, in small pieces here and large ones there, and the same listing of
# the same image took 7.6 ms in one run and 10.2 ms in another for that alone.
settle
cat -- *.img *.bin *.txt >/dev/null

# ---- timing -------------------------------------------------------------------------------
# bench JOB GOAL PREPARE VELTOOL-COMMAND ANCHOR-NAME ANCHOR-COMMAND [ANCHOR-NAME ANCHOR-COMMAND ...]
# adds a row. The goal is the largest ratio wanted against the first anchor; the others are
# shown beside it. The commands that change an image flush it to stable storage before they
# end, so their first anchor flushes its copy too (dd conv=fdatasync, sync -d); the plain copy
# is shown beside it. Row n keeps its commands in rows/n.commands (veltool's first), its
# preparation in rows/n.sh and one line per round of its commands' times in rows/n.times.
rm -rf rows && mkdir rows
row_jobs=() goals=() anchors=()
bench() {
    local job=$1 goal=$2 prepare=$3 command=$4
    shift 4
    [[ $job =~ ${BENCH_ONLY:-.} ]] || return 0
    local n=${#row_jobs[@]} names=()
    row_jobs+=("$job")
    goals+=("$goal")
    printf '%s\n' "$command" >"rows/$n.commands"
    while [ $# -gt 0 ]; do
        names+=("$1")
        printf '%s\n' "$2" >>"rows/$n.commands"
        shift 2
    done
    anchors+=("$(printf '%s|' "${names[@]}")")
    # Every run starts from the same state: the outputs of the runs before it removed, the
    # row's own preparation done, and nothing left to write to the disk. Without it a run pays
    # for the blocks of the output it replaces and for what the runs before it left unwritten,
    # which the kernel writes back at moments of its own choosing.
    printf '%s\n' 'rm -rf out/*' "${prepare:-true}" sync >"rows/$n.sh"
    : >"rows/$n.times"
}

# round N: one round of row N, one run of each of its commands in turn (with a warm-up run of
# each before the first round).
round() {
    local n=$1 commands shell=(-N) c warm=0
    mapfile -t commands <"rows/$n.commands"
    # Commands without shell syntax run without a shell: the shell's start-up, which hyperfine
    # subtracts as an estimate, is then no part of a time and none of its noise.
    for c in "${commands[@]}"; do
        case $c in *['<>|&;*$']*) shell=(--shell sh) ;; esac
    done
    [ -s "rows/$n.times" ] || warm=$warmup
    hyperfine --style none "${shell[@]}" --runs 1 --warmup "$warm" --prepare "sh rows/$n.sh" \
        --export-csv times.csv "${commands[@]}" >/dev/null 2>hyperfine.err || { cat hyperfine.err >&2; exit 1; }
    awk -F, 'NR > 1 { printf "%s%.3f", (NR > 2 ? " " : ""), $4 * 1000 } END { print "" }' times.csv >>"rows/$n.times"
}

# The rounds of all rows are spread over the whole run: each next round goes to the row that has
# had the least time so far, until every row has had its share of the time and its least
# number of rounds. A change of the machine's speed that lasts minutes then falls on every row
# alike rather than on the few that were timed while it lasted.
measure() {
    local count=${#row_jobs[@]} n spent=() rounds=() start now least
    for ((n = 0; n < count; n++)); do spent+=(0) rounds+=(0); done
    while :; do
        least=-1
        for ((n = 0; n < count; n++)); do
            if [ "$least" -lt 0 ] || [ "${spent[n]}" -lt "${spent[least]}" ]; then least=$n; fi
        done
        local done=true
        for ((n = 0; n < count; n++)); do
            if [ "${rounds[n]}" -lt "$min_rounds" ] || [ "${spent[n]}" -lt $((seconds * 1000000)) ]; then done=false; fi
        done
        $done && break
        # A row short of its least rounds goes first once its share of time is spent.
        for ((n = 0; n < count; n++)); do
            if [ "${spent[n]}" -ge $((seconds * 1000000)) ] && [ "${rounds[n]}" -lt "$min_rounds" ]; then least=$n; fi
        done
        start=${EPOCHREALTIME/./}
        round "$least"
        now=${EPOCHREALTIME/./}
        spent[least]=$((spent[least] + now - start))
        rounds[least]=$((rounds[least] + 1))
    done
}

# summary N: the row's lines of the table. A command's time is the tenth percentile of its
# rounds: on a shared machine what gets in a run's way (another guest's load, a processor woken
# late, the disk's other work) only adds time, in spells that come and go over minutes, and the
# quick end of the rounds is what two runs of the benchmark agree on. For each anchor: its time,
# veltool's ratio to it, the median of the rounds' ratios and the middle half of those ratios.
rows=()
summary() {
    local n=$1 lines
    mapfile -t lines < <(awk '
        function sort(values, n, i, j, t) {
            for (i = 1; i <= n; i++) {
                t = values[i]
                for (j = i - 1; j >= 1 && sorted[j] > t; j--) sorted[j + 1] = sorted[j]
                sorted[j + 1] = t
            }
        }
        # The value below which a fraction p of the sorted values lie, between ranks.
        function quantile(p, k, i) {
            k = 1 + p * (n - 1); i = int(k)
            return i >= n ? sorted[n] : sorted[i] + (k - i) * (sorted[i + 1] - sorted[i])
        }
        # Three significant figures, so that ratios far below 1 can be compared too.
        function figures(x) {
            return sprintf(x >= 100 ? "%.0f" : x >= 10 ? "%.1f" : x >= 1 ? "%.2f" : x >= 0.1 ? "%.3f" : "%.4f", x)
        }
        { for (c = 1; c <= NF; c++) m[NR, c] = $c; columns = NF }
        END {
            n = NR
            for (r = 1; r <= n; r++) column[r] = m[r, 1]
            sort(column, n)
            own = quantile(0.1)
            printf "%d %.1f\n", n, own
            for (c = 2; c <= columns; c++) {
                for (r = 1; r <= n; r++) column[r] = m[r, c]
                sort(column, n)
                time = quantile(0.1)
                for (r = 1; r <= n; r++) ratio[r] = m[r, c] > 0 ? m[r, 1] / m[r, c] : 0
                sort(ratio, n)
                printf "%.1f %s %s %s-%s\n", time, figures(time > 0 ? own / time : 0), figures(quantile(0.5)),
                    figures(quantile(0.25)), figures(quantile(0.75))
            }
        }' "rows/$n.times")
    local command
    command=$(head -n 1 "rows/$n.commands")
    sh "rows/$n.sh"
    /usr/bin/time -v -o memory.txt sh -c "$command" >/dev/null
    local peak names
    peak=$(awk -F: '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' memory.txt)
    IFS='|' read -r -a names <<<"${anchors[n]}"
    local i count time anchor ratio median spread
    read -r count time <<<"${lines[0]}"
    for i in "${!names[@]}"; do
        read -r anchor ratio median spread <<<"${lines[$((i + 1))]}"
        [ "$count" -gt 1 ] || median="-" spread="-"
        local wanted="-"
        [ "$i" -eq 0 ] && wanted=${goals[n]}
        rows+=("${row_jobs[n]}|$count|$time|${names[$i]}|$anchor|$ratio|$median|$spread|$wanted|$peak")
    done
}
fresh='cp empty.img work.img'
sync_copy() { echo "dd if=$1 of=out/dd.bin bs=1M conv=fdatasync status=none"; }

bench "wri -o D ${data_mib} MiB" "<= 1.2" "$fresh" "VELWRI -d work.img -o D data.bin" \
    "dd fdatasync" "$(sync_copy data.bin)" cp "cp data.bin out/cp.bin"
$fat && bench "wri -o D ${data_mib} MiB" "<= 1" "$fresh" "VELWRI -d work.img -o D data.bin" \
    "FAT mcopy in, sync" "mcopy -o -i fat.img data.bin ::DATA.BIN && sync -d fat.img" \
    "FAT mcopy in" "mcopy -o -i fat.img data.bin ::DATA.BIN"
bench "rea -o D ${data_mib} MiB" "<= 1.2" "" "VELREA -d filled.img -o D -f out/ DATA.BIN" \
    cp "cp data.bin out/cp.bin"
$fat && bench "rea -o D ${data_mib} MiB" "<= 1" "" "VELREA -d filled.img -o D -f out/ DATA.BIN" \
    "FAT mcopy out" "mcopy -n -i fat.img ::DATA.BIN out/fat.bin"
bench "wri -o A ${data_mib} MiB text" "<= 1.5" "$fresh" "VELWRI -d work.img -o A text.txt" \
    "tr, sync" "tr '\\n' '\\r' <text.txt >out/tr.txt && sync -d out/tr.txt" \
    "tr" "tr '\\n' '\\r' <text.txt >out/tr.txt"
bench "rea -o A ${data_mib} MiB text" "<= 1.5" "" "VELREA -d filled.img -o A -f out/ TEXT.TXT" \
    "tr" "tr '\\r' '\\n' <text.txt >out/tr.txt"
bench "sum ${data_mib} MiB" "<= 2" "" "VELSUM -d filled.img DATA.BIN" \
    cksum "cksum data.bin" sum "sum data.bin"
bench "ddi ${free_mib} MiB free" "<= 1.5" "" "VELDDI -d scan.img" cat "cat scan.img"
bench "rev ${free_mib} MiB free" "<= 1.5" "" "VELREV -d scan.img -o R NOMATCH.XYZ" \
    "cat, dd fdatasync" "cat scan.img >/dev/null && $(sync_copy "scan.img count=$directory_bytes iflag=count_bytes")" \
    cat "cat scan.img"
bench "dre ${free_mib} MiB free" "<= 1.5" "" "VELDRE -d scan.img -o F" \
    "cat, dd fdatasync" "cat scan.img >/dev/null && $(sync_copy "scan.img count=$directory_bytes iflag=count_bytes")" \
    cat "cat scan.img"
# pac journals the live data it moves before it overwrites them: it writes them twice.
bench "pac $files files, half deleted" "<= 2.5" "cp fragmented.img work.img" "VELPAC -d work.img" \
    "dd fdatasync" "$(sync_copy moved.bin)" "cp moved bytes" "cp moved.bin out/cp.bin"
# fix rewrites every file's directory sector and the directory; its journal records the stretch of
# the image those sectors lie in, a batch of about 4 MiB at a time.
fix_bytes=$((files * 768 + (192 + 256) * 768))
bench "fix $files files" "-" "cp full.img work.img" "VELFIX -d work.img" \
    "cat, dd fdatasync" "cat full.img >/dev/null && $(sync_copy "full.img count=$fix_bytes iflag=count_bytes")" \
    cat "cat full.img"
if $fat; then
    bench "dir -o F $files files" "<= 1" "" "VELDIR -d full.img -o F" "FAT mdir" "mdir -i fatfull.img ::/"
    bench "wri $files one-byte files" "<= 1" "cp empty256.img work.img; cp fatempty.img fatwork.img" \
        "VELWRI -d work.img -o D one/*" "FAT mcopy in, sync" "mcopy -i fatwork.img one/* ::/ && sync -d fatwork.img" \
        "FAT mcopy in" "mcopy -i fatwork.img one/* ::/"
else
    echo "note: mtools or dosfstools missing, the FAT-tool anchors are skipped" >&2
    bench "dir -o F $files files" "-" "" "VELDIR -d full.img -o F" "cat image" "cat full.img"
    bench "wri $files one-byte files" "-" "cp empty256.img work.img" "VELWRI -d work.img -o D one/*" \
        "cp" "cp -r one out/"
fi
bench "dir --json $files files" "<= 1.5" "" "VELDIR -d full.img --json" "dir -o F" "VELDIR -d full.img -o F"
if $mount; then
    mkdir -p mnt data_mnt
    "$root/build/velmount" -o form=D filled.img data_mnt
    "$root/build/velmount" full.img mnt
    bench "cp out of velmount ${data_mib} MiB" "<= 2" "" "cp data_mnt/DATA.BIN out/mount.bin" \
        "rea -o D" "VELREA -d filled.img -o D -f out/ DATA.BIN"
    # ls -l itself stats every name and formats every line, at about four times the cost of veldir's
    # listing on a host folder of the same files: what the mount adds shows against that folder.
    # The kernel keeps the mount's names and attributes for a second: this row times ls -l while
    # it has them (a listing just before), as the host folder's are in its caches.
    bench "ls -l velmount $files files" "<= 1.5" "ls -l mnt >/dev/null" "ls -l mnt" \
        "ls -l host folder" "ls -l small" "dir -o F" "VELDIR -d full.img -o F"
fi
measure
for ((n = 0; n < ${#row_jobs[@]}; n++)); do summary "$n"; done
unmount

# ---- the table ----------------------------------------------------------------------------
echo
echo "veltool against its anchors on $(nproc) cores, in rounds in which every command of a row ran once:"
echo "times in ms, the tenth percentile of the rounds; ratio: of those times; median: the median of the"
echo "rounds' ratios, spread: their middle half; peak memory of veltool"
{
    echo "job|rounds|veltool ms|anchor|anchor ms|ratio|median|spread|goal|peak MiB"
    printf '%s\n' "${rows[@]}"
} | awk -F'|' '{ printf "%-28s %6s %10s  %-18s %10s %6s %6s %13s %6s %8s\n", $1, $2, $3, $4, $5, $6, $7, $8, $9, $10 }'
