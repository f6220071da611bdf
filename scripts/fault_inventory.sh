#!/usr/bin/env bash
# Plants one-line faults in the program code, one at a time, and tells for each whether the
# test suite catches it. Each fault is a sed expression applied to one source file; the file
# is always put back as it was, however the run ends.
#
#   bash scripts/fault_inventory.sh            every fault
#   bash scripts/fault_inventory.sh 3 17       only faults 3 and 17
#
# Builds build/ incrementally (-j2) and runs ctest in it, without the installation test.
# A fault whose pattern no longer matches the code is reported as "not applied".
set -uo pipefail
cd "$(dirname "$0")/.."
export TZ=UTC LC_ALL=C
build=${BUILD_DIR:-build}

# number | file | sed expression (# as delimiter) | what it breaks
faults=$(
    cat <<'EOF'
1|veltool/files/free_space.cpp|s#e->size < best->size)) best = e;#false)) best = e;#|placement takes the first fit, not the best
2|veltool/files/free_space.cpp|s#rest.size = entry->size - (sectors + 1) \* SECTOR_WORDS#rest.size = entry->size - sectors * SECTOR_WORDS#|split free area one sector too large
3|veltool/files/copy_delete_rename.cpp|s#        restore_released(image, \*replaced);#        (void)replaced;#|cop skips putting the replaced file back
4|veltool/files/write_files.cpp|s#    restore_released(image, \*released);#    (void)released;#|wri skips putting the replaced file back
5|veltool/files/copy_delete_rename.cpp|s#PROTECTED FILE %s NOT DELETED#PROTECTED FILE %s NOT REMOVED#|del message with a changed word
6|veltool/image/directory.cpp|s#if (a.size > b.size) return -direction;#if (a.size < b.size) return -direction;#|sdi -m sort key reversed
7|veltool/listings.cpp|s#file.tm_mday == bound.day)#file.tm_mday == bound.day + 1)#|sdi -tD date bound off by a day
8|parmdump/sector.cpp|s#std::swap(sector\[i\], sector\[i + 2\])#std::swap(sector[i], sector[i + 1])#|parmdump swapped byte order wrong
9|veltool/files/contents.cpp|s#static_cast<std::uint32_t>((total - 1) % ONES + 1)#static_cast<std::uint32_t>(total \& ONES)#|sum drops the end-around carry
10|veltool/files/host_forms.cpp|s#    return b & ~HIGH_BIT;#    return b;#|text read keeps bit 7
11|common/text.cpp|s#char c = static_cast<char>(field\[i\] & 0x7F);#char c = static_cast<char>(field[i]);#|8-bit text decoding keeps bit 7
12|common/words.cpp|s#value - 0x1000000#value - 0x100000#|signed word sign extension wrong
13|common/words.cpp|s#exponent - 36#exponent - 35#|float exponent off by one
14|veltool/image/directory.cpp|s#(next->start - entry->start) \* SECTOR_WORDS + next->size#(next->start - entry->start - 1) * SECTOR_WORDS + next->size#|merged EMPTY entries lose a sector
15|veltool/listings.cpp|s#letters += r == i ? 'A' : r ? 'R' : 'I';#letters += r == i ? 'A' : r ? 'I' : 'R';#|attribute letters R and I swapped
16|veltool/listings.cpp|s#if (i > 0 && group_of#if (false \&\& group_of#|sdi prints no blank line between groups
17|veltool/files/copy_delete_rename.cpp|s#(existing->attributes & ATTR_P) && !has_letter(options.letters, 'Y')#(existing->attributes \& ATTR_P)#|cop -oY cannot replace a protected file
18|veltool/files/copy_delete_rename.cpp|s#if ((entry.attributes & ATTR_P) && !has_letter#if (false \&\& !has_letter#|del deletes protected files
19|veltool/files/host_forms.cpp|s#static_cast<Byte>(value >> (8 \* k))#static_cast<Byte>(value >> (8 * (3 - k)))#|packed form byte order flipped
20|veltool/files/host_forms.cpp|s#bool folded = c == LINE_FEED && after_carriage_return_;#bool folded = false;#|CR LF not folded into one line end
21|veltool/files/contents.cpp|s#++lines >= line_limit#++lines > line_limit#|lis -h prints one line too many
22|veltool/files/contents.cpp|s#bool line_start = index % 4 == 0;#bool line_start = index % 8 == 0;#|oct puts 8 words on a line
23|veltool/files/read_files.cpp|s#source_range(entry.start, entry.size, form)#source_range(entry.start, entry.size - 1, form)#|rea drops the last word
24|veltool/maint/image_creation.cpp|s#case 'k': return saturated_product(amount.number, 4);#case 'k': return saturated_product(amount.number, 8);#|new K unit is 8 sectors
25|veltool/maint/image_creation.cpp|s#if (!force) fatal(0, "INITIALIZING#if (false) fatal(0, "INITIALIZING#|new initialises without -oF
26|veltool/maint/image_creation.cpp|/^void command_old/,$ s#copy_host_sectors(from, to, SYSTEM_AREA_SECTORS);#copy_host_sectors(from, to, SYSTEM_AREA_SECTORS - 1);#|old copies one sector short
27|veltool/maint/partition.cpp|s#disk.start + disk.size - 1#disk.start + disk.size#|ptr end sector off by one
28|veltool/image/fixed_records.cpp|s#table.disks\[LOGICAL_DISKS - 1\].size = 660;#table.disks[LOGICAL_DISKS - 1].size = 606;#|ptw default table wrong size
29|veltool/maint/sectors.cpp|s#if (!has_letter(options.letters, 'F')) fatal(0, "DIRECT#if (false) fatal(0, "DIRECT#|scw writes without -oF
30|veltool/maint/repair.cpp|s#names.count(found->full_name) != 0) {#false) {#|dre keeps both files of one name
31|veltool/maint/repair.cpp|s#f.start = start + sectors + 1;#f.start = start + sectors;#|pac places the free space one sector early
32|veltool/maint/repair.cpp|s#DELETING ILLEGAL ENTRY#REMOVING ILLEGAL ENTRY#|pac message with a changed word
33|veltool/maint/revive.cpp|s#        s = area->start - 1;#        s = area->start;#|rev skips the sector right after a revived file
34|veltool/maint/revive.cpp|s#    sector.attributes .= ATTR_P;#    (void)sector.attributes;#|fix does not protect
35|veltool/commands.cpp|s#strncasecmp(text.c_str(), command.name, 3)#strncasecmp(text.c_str(), command.name, 2)#|dispatch compares two letters
36|parmdump/identify.cpp|s#return {true, first_four\[3\] == 0xFF};#return {true, first_four[3] == 0xFE};#|expanded form not recognised
37|parmdump/report.cpp|s#static_cast<int>(size / 1024)#static_cast<int>(size / 1000)#|SI in thousands, not K
38|parmdump/halvor.cpp|s#double offset_hz = v.o1 - v.sr + v.sw \* 0.5;#double offset_hz = v.o1 + v.sr + v.sw * 0.5;#|OFFSET sign of SR flipped
39|parmdump/identify.cpp|s#std::int64_t{n} + 1, loaded.expanded#std::int64_t{n}, loaded.expanded#|second sector read one too early
40|parmdump/parmdump.cpp|s#Usage: %s filename#Usage: %s file#|usage message with a changed word
41|veltool/files/copy_delete_rename.cpp|s#constexpr std::size_t TAG_LENGTH = 4;#constexpr std::size_t TAG_LENGTH = 3;#|ren -n cuts the tag to 3 characters
42|veltool/maint/revive.cpp|s#case 'k': factor = K_WORDS; break;#case 'k': factor = SECTOR_WORDS; break;#|res K unit wrong
43|common/text.cpp|s#static_cast<Byte>(text\[i\] . 0x80);#static_cast<Byte>(text[i]);#|8-bit text stored without bit 7 (dcw)
44|veltool/maint/revive.cpp|s#(words > 0 ? e->size < chosen->size : e->size > chosen->size)#(words > 0 ? e->size <= chosen->size : e->size > chosen->size)#|res takes the last of equal areas
45|common/words.cpp|s#weight \*= 10;#weight *= 16;#|BCD word read as hex
46|common/text.cpp|s#year += year <= 69 ? 2000 : 1900;#year += year < 69 ? 2000 : 1900;#|century pivot off by one year
47|veltool/listings.cpp|s#(line.size + K_WORDS - 1) / K_WORDS#line.size / K_WORDS#|K column rounds down
48|veltool/listings.cpp|s#for (std::int64_t s = area.start; s <= last; ++s)#for (std::int64_t s = area.start; s < last; ++s)#|ddi misses the last sector of an area
49|veltool/options.cpp|s#case 'w': options.sort_direction = -1; break;#case 'w': options.sort_direction = 1; break;#|sdi -w does not reverse
50|veltool/selection.cpp|s#fnmatch(pattern.c_str(), full_name.c_str(), FNM_CASEFOLD)#fnmatch(pattern.c_str(), full_name.c_str(), 0)#|name patterns match case
51|velmount/mounted_image.cpp|s#    return file.length;#    return file.length + 1;#|velmount size of a form one byte too large
52|velmount/mounted_image.cpp|s#if (stamp_of_image(image) != image.stamp) {#if (false) {#|velmount does not see a changed image
53|veltool/image/directory.cpp|/^bool read_usable_sector/,/^}/ s#    check_directory_sector(image, entry);#    (void)entry;#|velmount shows a file whose sector fails the cross-check
EOF
)

selected=" $* "
work=$(mktemp -d)
current=""
restore() {
    if [ -n "$current" ]; then
        cp "$work/original" "$current"
        current=""
    fi
}
trap 'restore; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

cmake -S . -B "$build" -DVELTOOL_TESTS=ON >/dev/null || exit 1
cmake --build "$build" -j2 >"$work/build.log" 2>&1 || { echo "the unchanged tree does not build"; exit 1; }

caught=0 missed=0 skipped=0 total=0
while IFS='|' read -r number file expression what; do
    [ -z "$number" ] && continue
    [ "$selected" != "  " ] && [[ "$selected" != *" $number "* ]] && continue
    total=$((total + 1))
    cp "$file" "$work/original"
    current=$file
    sed -i -e "$expression" "$file"
    if cmp -s "$file" "$work/original"; then
        result="not applied"
        skipped=$((skipped + 1))
    elif ! cmake --build "$build" -j2 >"$work/build.log" 2>&1; then
        result="not applied (does not build)"
        skipped=$((skipped + 1))
    elif ctest --test-dir "$build" -j2 -E '^install$' --timeout 120 >"$work/test.log" 2>&1; then
        result="NOT caught"
        missed=$((missed + 1))
    else
        result="caught"
        caught=$((caught + 1))
    fi
    restore
    printf '%2d  %-28s %-38s %s\n' "$number" "$result" "$file" "$what"
done <<<"$faults"

# Leave build/ matching the unchanged sources.
cmake --build "$build" -j2 >"$work/build.log" 2>&1
echo "faults: $total, caught: $caught, NOT caught: $missed, not applied: $skipped"
