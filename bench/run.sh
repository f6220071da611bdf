#!/usr/bin/env bash
# Times veltool's data-moving jobs against the tools that move the same bytes (cp, dd, cat,
# cksum, tr, and the mtools FAT commands where installed) and prints one table: job, veltool
# median, anchor median, their ratio, the spread of that ratio, the goal for it, and veltool's
# peak memory.
#
# Each row is timed in rounds: one hyperfine call per round times every command of the row one
# after the other, so that the commands take turns and a change of the machine's load between
# them falls on all. A command's median is the median of its rounds' medians; a ratio is the
# median of the rounds' ratios, and its spread the lowest and the highest ratio of one round.
#
#   bash bench/run.sh            # full sizes: 64 MiB files, a 1 GiB free area, 7679 files
#   bash bench/run.sh --quick    # one run each on small sizes (what CI runs)
#
# Needs hyperfine and GNU time (/usr/bin/time); BENCH_DIR names the folder for the workloads
# (default: a fresh one under /tmp, removed at the end). Times never make it fail.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

quick=false
[ "${1:-}" = "--quick" ] && quick=true
# runs: of each command in each round, after the warm-up runs; big_runs: the same for the rows
# whose commands take longest (the 1 GiB free area, the thousands of one-byte files).
if $quick; then
    rounds=1 runs=1 big_runs=1 short_runs=1 warmup=0 data_mib=4 free_mib=32 files=300
else
    rounds=9 runs=6 big_runs=3 short_runs=12 warmup=1 data_mib=64 free_mib=1024 files=7679
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

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
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
unmount() { ! mountpoint -q "$work/mnt" || fusermount3 -u "$work/mnt" || fusermount3 -uz "$work/mnt"; }
[ -n "${BENCH_DIR:-}" ] && trap unmount EXIT
rm -rf out && mkdir out

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

# ---- timing -------------------------------------------------------------------------------
rows=()
# bench JOB GOAL PREPARE VELTOOL-COMMAND ANCHOR-NAME ANCHOR-COMMAND [ANCHOR-NAME ANCHOR-COMMAND ...]
# The goal is the largest ratio wanted against the first anchor; the others are shown beside it.
# row_runs (when set) replaces runs for this row: fewer for the longest jobs, more for the
# shortest, whose times vary most from run to run.
# The commands that change an image flush it to stable storage before they end, so their first
# anchor flushes its copy too (dd conv=fdatasync, sync -d); the plain copy is shown beside it.
bench() {
    local job=$1 goal=$2 prepare=$3 command=$4
    shift 4
    local commands=("$command") names=()
    while [ $# -gt 0 ]; do
        names+=("$1")
        commands+=("$2")
        shift 2
    done
    # Commands without shell syntax run without a shell: the shell's start-up, which hyperfine
    # subtracts as an estimate, is then no part of a time and none of its noise.
    local shell=() c
    for c in "${commands[@]}" "${prepare:-true}"; do
        case $c in *['<>|&;*$']*) shell=(--shell sh) ;; esac
    done
    [ ${#shell[@]} -gt 0 ] || shell=(-N)
    local round
    : >rounds.txt
    for ((round = 1; round <= rounds; round++)); do
        hyperfine --style none "${shell[@]}" --runs "${row_runs:-$runs}" --warmup "$warmup" --prepare "${prepare:-true}" \
            --export-csv times.csv "${commands[@]}" >/dev/null 2>hyperfine.err || { cat hyperfine.err >&2; exit 1; }
        # One line per round: the median of each command in ms.
        awk -F, 'NR > 1 { printf "%s%.3f", (NR > 2 ? " " : ""), $4 * 1000 } END { print "" }' times.csv >>rounds.txt
    done
    # One line per command: the median of its round medians; for an anchor also veltool's
    # ratio to it, the median of the rounds' ratios (a change of load between rounds falls on
    # both sides of a ratio alike), and the lowest and highest ratio of a round.
    local summary
    mapfile -t summary < <(awk '
        function median(values, n, i, j, v, t) {
            for (i = 1; i <= n; i++) {
                t = values[i]
                for (j = i - 1; j >= 1 && v[j] > t; j--) v[j + 1] = v[j]
                v[j + 1] = t
            }
            return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
        }
        { for (c = 1; c <= NF; c++) m[NR, c] = $c; columns = NF }
        END {
            for (r = 1; r <= NR; r++) column[r] = m[r, 1]
            printf "%.1f\n", median(column, NR)
            for (c = 2; c <= columns; c++) {
                low = high = -1
                for (r = 1; r <= NR; r++) {
                    column[r] = m[r, c]
                    ratio[r] = m[r, c] > 0 ? m[r, 1] / m[r, c] : 0
                    if (low < 0 || ratio[r] < low) low = ratio[r]
                    if (ratio[r] > high) high = ratio[r]
                }
                printf "%.1f %.2f %.2f-%.2f\n", median(column, NR), median(ratio, NR), low, high
            }
        }' rounds.txt)
    eval "${prepare:-true}"
    /usr/bin/time -v -o memory.txt sh -c "$command" >/dev/null
    local peak
    peak=$(awk -F: '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' memory.txt)
    local i anchor ratio spread
    for i in "${!names[@]}"; do
        read -r anchor ratio spread <<<"${summary[$((i + 1))]}"
        [ "$rounds" -gt 1 ] || spread="-"
        local wanted="-"
        [ "$i" -eq 0 ] && wanted=$goal
        rows+=("$job|${summary[0]}|${names[$i]}|$anchor|$ratio|$spread|$wanted|$peak")
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
row_runs=$short_runs bench "sum ${data_mib} MiB" "<= 2" "" "VELSUM -d filled.img DATA.BIN" \
    cksum "cksum data.bin" sum "sum data.bin"
row_runs=$big_runs bench "ddi ${free_mib} MiB free" "<= 1.5" "" "VELDDI -d scan.img" cat "cat scan.img"
row_runs=$big_runs bench "rev ${free_mib} MiB free" "<= 1.5" "" "VELREV -d scan.img -o R NOMATCH.XYZ" \
    "cat, dd fdatasync" "cat scan.img >/dev/null && $(sync_copy "scan.img count=$directory_bytes iflag=count_bytes")" \
    cat "cat scan.img"
row_runs=$big_runs bench "dre ${free_mib} MiB free" "<= 1.5" "" "VELDRE -d scan.img -o F" \
    "cat, dd fdatasync" "cat scan.img >/dev/null && $(sync_copy "scan.img count=$directory_bytes iflag=count_bytes")" \
    cat "cat scan.img"
# pac journals the live data it moves before it overwrites them: it writes them twice.
row_runs=$short_runs bench "pac $files files, half deleted" "<= 2.5" "cp fragmented.img work.img" "VELPAC -d work.img" \
    "dd fdatasync" "$(sync_copy moved.bin)" "cp moved bytes" "cp moved.bin out/cp.bin"
# fix rewrites every file's directory sector and the directory; its journal records the stretch of
# the image those sectors lie in, a batch of about 4 MiB at a time.
fix_bytes=$((files * 768 + (192 + 256) * 768))
row_runs=$short_runs bench "fix $files files" "-" "cp full.img work.img" "VELFIX -d work.img" \
    "cat, dd fdatasync" "cat full.img >/dev/null && $(sync_copy "full.img count=$fix_bytes iflag=count_bytes")" \
    cat "cat full.img"
if $fat; then
    row_runs=$short_runs bench "dir -o F $files files" "<= 1" "" "VELDIR -d full.img -o F" "FAT mdir" "mdir -i fatfull.img ::/"
    row_runs=$big_runs bench "wri $files one-byte files" "<= 1" "cp empty256.img work.img; cp fatempty.img fatwork.img" \
        "VELWRI -d work.img -o D one/*" "FAT mcopy in, sync" "mcopy -i fatwork.img one/* ::/ && sync -d fatwork.img" \
        "FAT mcopy in" "mcopy -i fatwork.img one/* ::/"
else
    echo "note: mtools or dosfstools missing, the FAT-tool anchors are skipped" >&2
    row_runs=$short_runs bench "dir -o F $files files" "-" "" "VELDIR -d full.img -o F" "cat image" "cat full.img"
    row_runs=$big_runs bench "wri $files one-byte files" "-" "cp empty256.img work.img" "VELWRI -d work.img -o D one/*" \
        "cp" "cp -r one out/"
fi
row_runs=$short_runs bench "dir --json $files files" "<= 1.5" "" "VELDIR -d full.img --json" "dir -o F" "VELDIR -d full.img -o F"
if $mount; then
    mkdir -p mnt
    "$root/build/velmount" -o form=D filled.img mnt
    row_runs=$short_runs bench "cp out of velmount ${data_mib} MiB" "<= 2" "" "cp mnt/DATA.BIN out/mount.bin" \
        "rea -o D" "VELREA -d filled.img -o D -f out/ DATA.BIN"
    unmount
    "$root/build/velmount" full.img mnt
    # ls -l itself stats every name and formats every line, at about four times the cost of veldir's
    # listing on a host folder of the same files: what the mount adds shows against that folder.
    row_runs=$short_runs bench "ls -l velmount $files files" "<= 1.5" "" "ls -l mnt" \
        "ls -l host folder" "ls -l small" "dir -o F" "VELDIR -d full.img -o F"
    unmount
fi

# ---- the table ----------------------------------------------------------------------------
echo
echo "veltool against its anchors: medians in ms of $rounds round(s) of $runs run(s) ($big_runs in the longest rows)" \
    "on $(nproc) cores; spread: lowest-highest ratio of a round; peak memory of veltool"
{
    echo "job|veltool ms|anchor|anchor ms|ratio|spread|goal|peak MiB"
    printf '%s\n' "${rows[@]}"
} | awk -F'|' '{ printf "%-28s %10s  %-18s %10s %7s %10s %6s %9s\n", $1, $2, $3, $4, $5, $6, $7, $8 }'
