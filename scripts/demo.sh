#!/usr/bin/env bash
# Builds the tools and shows them at work, in demo/, on a disk image and spectrometer data
# files made there.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs" --target veltool parmdump make_sample >/dev/null

build=$PWD/build
export PATH="$build/bin:$build:$PATH"
rm -rf demo
mkdir demo
cd demo

show() {
    echo "\$ $(printf "%q " "$@")"
    "$@"
    echo
}

echo "# A new disk image of 1000 sectors with an empty directory, its partition table and comment."
show VELNEW -d disk.img -o F -c "DEMONSTRATION DISK" 1000
show VELPTR -d disk.img
show VELDCR -d disk.img

echo "# Host files go in: a text, and a spectrometer data file with its own directory sector."
"$build/tools/make_sample" .
printf 'FIRST LINE\nSECOND LINE\n' > notes.txt
show VELWRI -d disk.img -o AV notes.txt
show VELWRI -d disk.img -o V PROTON.FID
show VELRES -d disk.img SPACE.DAT 2K
show VELDIR -d disk.img -o F

echo "# ... and come out again."
mkdir back
show VELREA -d disk.img -o AV -f back/ NOTES.TXT
show cat back/NOTES.TXT
show VELREA -d disk.img -o V -f back/ PROTON.FID
show VELSUM -d disk.img "*"

echo "# Deleted files can be found and revived."
show VELDEL -d disk.img NOTES.TXT
show VELDDI -d disk.img -o B
show VELREV -d disk.img NOTES.TXT
show VELSDI -d disk.img -o B -m

echo "# parmdump reads the parameters of the data file read out of the image, and of a TORGIL"
echo "# data file noesy whose parameters lie beside it in p_noesy."
show parmdump back/PROTON.FID
show parmdump noesy
