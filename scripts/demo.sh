#!/usr/bin/env bash
# Builds the tools and shows them at work on a scratch disk image and sample data files made
# here, in demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs" --target veltool parmdump make_sample >/dev/null

bin=$PWD/build/bin
rm -rf demo
mkdir demo
cd demo

show() {
    echo "$ $(printf "%q " "$@")"
    "$bin/$@"
    echo
}

truncate -s $((1000 * 768)) disk.img
echo "# a scratch image of 1000 sectors of 768 bytes: disk.img"
echo
show VELPTW -d disk.img
show VELDCW -d disk.img -c "DEMONSTRATION DISK"
show VELPTR -d disk.img
show VELDCR -d disk.img

# parmdump reads the parameters of spectrometer data files; make_sample writes two here.
build=$PWD/../build
"$build/tools/make_sample" .
echo "# sample data files: PROTON.FID (FENDAR data), noesy with its parameter file p_noesy (TORGIL data)"
echo
show_parmdump() {
    echo "$ parmdump $(printf "%q " "$@")"
    "$build/parmdump" "$@"
    echo
}
show_parmdump PROTON.FID
show_parmdump noesy
