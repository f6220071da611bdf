#!/usr/bin/env bash
# Installs the build into a scratch prefix and builds the examples against that copy as
# another project would: once with find_package(veltra), once with pkg-config and a plain
# compiler line. Runs them on a data file and an image made by the project's own tools.
# Arguments: the build folder, the source folder, the C++ compiler and its extra flags
# (the sanitizers of a sanitizer build).
set -euo pipefail
build=$1
source=$2
cxx=${3:-c++}
flags=${4:-}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
library=$(find "$prefix" -name libveltra.so -print -quit)
[ -n "$library" ] || fail "libveltra.so is not installed"
libdir=$(dirname "$library")
[ "$(readlink "$library")" = libveltra.so.1 ] || fail "libveltra.so does not lead to libveltra.so.1"
readelf -d "$library" | grep -q 'SONAME.*\[libveltra\.so\.1\]' || fail "libveltra has no SONAME libveltra.so.1"
[ -f "$prefix/include/veltra/parameters.h" ] || fail "the headers are not installed"
[ -f "$libdir/cmake/veltra/veltraConfigVersion.cmake" ] || fail "the CMake package has no version file"
# Only the names of namespace veltra are shown.
if nm -D --defined-only -C "$library" | grep -v ' veltra::\| for veltra::' | grep -q ' [TWV] '; then
    fail "libveltra shows names outside namespace veltra"
fi

programs=(show_parameters list_image)
export LD_LIBRARY_PATH=$libdir

# As a CMake project: find_package(veltra) through CMAKE_PREFIX_PATH.
cmake -S "$source/examples" -B "$scratch/cmake" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$cxx" \
    -DCMAKE_CXX_FLAGS="$flags" >/dev/null || fail "find_package(veltra) does not configure the examples"
cmake --build "$scratch/cmake" >/dev/null || fail "the examples do not build with find_package(veltra)"

# As a plain compiler line with pkg-config.
mkdir "$scratch/pc"
for program in "${programs[@]}"; do
    # shellcheck disable=SC2046,SC2086
    PKG_CONFIG_PATH=$libdir/pkgconfig "$cxx" -std=c++20 -Wall -Wextra -Wpedantic $flags \
        "$source/examples/$program.cpp" $(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs veltra) \
        -o "$scratch/pc/$program" || fail "$program does not build with pkg-config"
done

# The parameters of the samples: the text as parmdump prints it, the records as the text has them.
mkdir "$scratch/data"
"$build/tools/make_sample" "$scratch/data"
for built in "$scratch/cmake" "$scratch/pc"; do
    for file in PROTON.FID noesy; do
        [ "$("$built/show_parameters" -t "$scratch/data/$file")" = "$("$build/parmdump" "$scratch/data/$file")" ] ||
            fail "$built/show_parameters -t $file differs from parmdump"
    done
    records=$("$built/show_parameters" "$scratch/data/noesy")
    td=$("$build/parmdump" "$scratch/data/noesy" | sed -n 's/^TD= *\([^ ]*\) .*/\1/p')
    grep -qx "ACQUISITION PARAMETERS	TD	$td	" <<<"$records" || fail "$built/show_parameters: no record TD=$td"
    grep -qx "HALVOR PARAMETERS	OFFSET	4000.00	Hz" <<<"$records" || fail "$built/show_parameters: no OFFSET in Hz"
    error=$("$built/show_parameters" "$scratch/missing" 2>&1) && fail "show_parameters finds a missing file"
    [ "$error" = "Cannot open $scratch/missing: No such file or directory" ] || fail "error text: $error"
done

# The files of an image, as veldir lists them.
image=$scratch/disk.img
printf 'one\ntwo\n' >"$scratch/notes.txt"
"$build/bin/VELNEW" -d "$image" -o F -c "LIBRARY TEST" 600 >/dev/null
"$build/bin/VELWRI" -d "$image" -o A "$scratch/notes.txt" >/dev/null
"$build/bin/VELWRI" -d "$image" -o D "$scratch/data/noesy" >/dev/null
expected=$("$build/bin/VELDIR" -d "$image" -o N | sed 's/ *\././; s/ *$//')
[ "$(wc -l <<<"$expected")" = 2 ] || fail "the sample image does not hold two files"
for built in "$scratch/cmake" "$scratch/pc"; do
    [ "$("$built/list_image" "$image" | awk '{ print $1 }')" = "$expected" ] ||
        fail "$built/list_image does not list the files veldir lists"
done
echo "library test passed"
