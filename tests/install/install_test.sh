#!/usr/bin/env bash
# Installs the build into a scratch prefix and uses it as a user would: commands through
# upper- and lower-case links, manual pages looked up by name, the Debian package, and the
# library: the examples built against the installed copy as another project would, once with
# find_package(veltra) and once with pkg-config and a plain compiler line, and run.
# Arguments: the build folder, the source folder, the C++ compiler and its extra flags (the
# sanitizers of a sanitizer build).
set -euo pipefail
build=$1 source=$2 cxx=${3:-c++} flags=${4:-}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
bin=$scratch/prefix/bin
man1=$scratch/prefix/share/man/man1

# Links are relative, so a staged installation stays correct where it is moved.
[ "$(readlink "$bin/VELDIR")" = veltool ] || fail "VELDIR is not a relative link to veltool"
[ "$(readlink "$man1/veldir.1")" = veltool.1 ] || fail "veldir.1 is not a relative link to veltool.1"
for name in NEW DIR DEL REN COP REA WRI SCR SCW PTR PTW DCR DCW OLD DRE PAC DDI REV RES SDI LIS FIX SUM OCT; do
    lower=$(echo "$name" | tr 'A-Z' 'a-z')
    [ -x "$bin/VEL$name" ] && [ -x "$bin/vel$lower" ] || fail "missing invocation name for $name"
    [ -e "$man1/vel$lower.1" ] || fail "missing manual page name vel$lower.1"
done
for program in parmdump velmount; do
    [ ! -f "$build/$program" ] || { [ -x "$bin/$program" ] && [ -e "$man1/$program.1" ]; } ||
        fail "$program or its manual page is not installed"
done
if [ -f "$build/velmount" ]; then
    usage=$("$bin/velmount" 2>&1 || true)
    [ "${usage#usage: velmount}" != "$usage" ] || fail "the installed velmount does not run"
fi

# Completion: bash finds it by the command's name, zsh has one file for every name.
for name in veltool velrea VELDIR parmdump velmount; do
    [ -f "$scratch/prefix/share/bash-completion/completions/$name" ] || fail "no bash completion for $name"
done
grep -q '^#compdef .* velrea ' "$scratch/prefix/share/zsh/vendor-completions/_veltool" || fail "no zsh completion"

# A command through each kind of link.
truncate -s $((300 * 768)) "$scratch/disk.img"
"$bin/VELDCW" -d "$scratch/disk.img" -c "INSTALLED"
[ "$("$bin/veldcr" -d "$scratch/disk.img")" = INSTALLED ] || fail "veldcr does not read what VELDCW wrote"
"$bin/velptw" -d "$scratch/disk.img"
"$bin/VELPTR" -d "$scratch/disk.img" | grep -q '^=D1      0            0           299             300$' ||
    fail "VELPTR does not show the table that velptw wrote"

# The Python package, where it was built: imported from the prefix by the Python it was built for.
if [ -d "$build/python/veltra" ]; then
    python=$(sed -n 's/^Python3_EXECUTABLE:[A-Z]*=//p' "$build/CMakeCache.txt")
    # Under lib/python3.X/ of the prefix, where that Python looks below /usr and /usr/local.
    package=$(find "$scratch/prefix" -path "$scratch/prefix/lib/python3*/*-packages/veltra" -type d)
    [ -f "$package/__init__.py" ] || fail "the Python package is not installed"
    (cd "$scratch" && PYTHONPATH=$(dirname "$package") "$python" -c 'import veltra; veltra.parameters') ||
        fail "the installed Python package cannot be imported"
fi

# Manual pages: found by name and formatted without warnings.
if command -v man >/dev/null; then
    case "$(man -M "$scratch/prefix/share/man" -w veldir)" in
    "$man1/veldir.1" | "$man1/veltool.1") ;;
    *) fail "man does not find veldir" ;;
    esac
    man -M "$scratch/prefix/share/man" veldir 2>/dev/null | grep -q 'VELTOOL(1)' || fail "man veldir shows another page"
fi
if command -v groff >/dev/null; then
    for page in "$source"/docs/*.1; do
        out=$(groff -t -man -ww -z "$page" 2>&1)
        [ -z "$out" ] || fail "groff warns about $page: $out"
    done
fi

# The Debian package holds the same installation.
if command -v dpkg-deb >/dev/null && command -v cpack >/dev/null; then
    (cd "$build" && cpack -G DEB -B "$scratch/package" >/dev/null)
    deb=$(ls "$scratch"/package/*.deb)
    contents=$(dpkg-deb -c "$deb")
    [ ! -f "$build/velmount" ] || echo "$contents" | grep -q './usr/bin/velmount$' || fail "package lacks velmount"
    for file in './usr/bin/veltool$' './usr/bin/veldir -> veltool$' './usr/share/man/man1/veltool\.1' \
        '/libveltra\.so\.1 -> libveltra\.so\.1\.0\.0$' '/include/veltra/parameters\.h$' '/pkgconfig/veltra\.pc$' \
        '/cmake/veltra/veltraConfig\.cmake$'; do
        echo "$contents" | grep -q "$file" || fail "package lacks $file"
    done
    [ ! -d "$build/python/veltra" ] || echo "$contents" | grep -q ' \./usr/lib/python3[.0-9]*/dist-packages/veltra/_veltra\..*so$' ||
        fail "package lacks the Python module"
    [ "$(dpkg-deb -f "$deb" Package)" = veltool ] || fail "package name"
    dpkg-deb -f "$deb" Maintainer | grep -q . || fail "package has no maintainer"
fi

# The library for other programs.
library=$(find "$scratch/prefix" -name libveltra.so -print -quit)
[ -n "$library" ] || fail "libveltra.so is not installed"
libdir=$(dirname "$library")
[ "$(readlink "$library")" = libveltra.so.1 ] || fail "libveltra.so does not lead to libveltra.so.1"
readelf -d "$library" | grep -q 'SONAME.*\[libveltra\.so\.1\]' || fail "libveltra has no SONAME libveltra.so.1"
[ -f "$scratch/prefix/include/veltra/parameters.h" ] || fail "the headers are not installed"
[ -f "$libdir/cmake/veltra/veltraConfigVersion.cmake" ] || fail "the CMake package has no version file"
# Only the names of namespace veltra are shown.
if nm -D --defined-only -C "$library" | grep -v ' veltra::\| for veltra::' | grep -q ' [TWV] '; then
    fail "libveltra shows names outside namespace veltra"
fi

export LD_LIBRARY_PATH=$libdir

# As a CMake project: find_package(veltra) through CMAKE_PREFIX_PATH.
cmake -S "$source/examples" -B "$scratch/cmake" -DCMAKE_PREFIX_PATH="$scratch/prefix" -DCMAKE_CXX_COMPILER="$cxx" \
    -DCMAKE_CXX_FLAGS="$flags" >/dev/null || fail "find_package(veltra) does not configure the examples"
cmake --build "$scratch/cmake" >/dev/null || fail "the examples do not build with find_package(veltra)"

# As a plain compiler line with pkg-config.
mkdir "$scratch/pc"
for program in show_parameters list_image; do
    # shellcheck disable=SC2046,SC2086
    PKG_CONFIG_PATH=$libdir/pkgconfig "$cxx" -std=c++20 -Wall -Wextra -Wpedantic $flags \
        "$source/examples/$program.cpp" $(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs veltra) \
        -o "$scratch/pc/$program" || fail "$program does not build with pkg-config"
done

# The parameters of a sample: the text as parmdump prints it, the records as the text has them;
# the files of an image, as veldir lists them.
mkdir "$scratch/data"
"$build/tools/make_sample" "$scratch/data"
image=$scratch/library.img
printf 'one\ntwo\n' >"$scratch/notes.txt"
"$build/bin/VELNEW" -d "$image" -o F -c "LIBRARY TEST" 600 >/dev/null
"$build/bin/VELWRI" -d "$image" -o A "$scratch/notes.txt" >/dev/null
"$build/bin/VELWRI" -d "$image" -o D "$scratch/data/noesy" >/dev/null
expected=$("$build/bin/VELDIR" -d "$image" -o N | sed 's/ *\././; s/ *$//')
[ "$(wc -l <<<"$expected")" = 2 ] || fail "the sample image does not hold two files"
for built in "$scratch/cmake" "$scratch/pc"; do
    [ "$("$built/show_parameters" -t "$scratch/data/noesy")" = "$("$build/parmdump" "$scratch/data/noesy")" ] ||
        fail "$built/show_parameters -t differs from parmdump"
    records=$("$built/show_parameters" "$scratch/data/noesy")
    td=$("$build/parmdump" "$scratch/data/noesy" | sed -n 's/^TD= *\([^ ]*\) .*/\1/p')
    grep -qx "ACQUISITION PARAMETERS	TD	$td	" <<<"$records" || fail "$built/show_parameters: no record TD=$td"
    grep -qx "HALVOR PARAMETERS	OFFSET	4000.00	Hz" <<<"$records" || fail "$built/show_parameters: no OFFSET in Hz"
    error=$("$built/show_parameters" "$scratch/missing" 2>&1) && fail "show_parameters finds a missing file"
    [ "$error" = "Cannot open $scratch/missing: No such file or directory" ] || fail "error text: $error"
    [ "$("$built/list_image" "$image" | awk '{ print $1 }')" = "$expected" ] ||
        fail "$built/list_image does not list the files veldir lists"
done
echo "install test passed"
