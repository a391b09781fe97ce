#!/bin/sh
# Cold whole processes on the 100,000-mark benchmark database: the headless
# -exportWPT, -exportMP and -exportKMZ runs of the editor, zlib alone deflating the
# KML inside the KMZ, GPSBabel converting the same marks from GPX to OziExplorer
# waypoints, and the editor window (offscreen) opening the database up to its first
# painted marks grid. Each is run RUNS times (5 by default) in a fresh process; the median
# wall time, the median processor time (user plus system, steadier than the wall
# time on a busy machine) and the median peak resident size (from /usr/bin/time)
# are printed.
#
#   bench/cold_start.sh [BUILD_DIR] [WORK_DIR]
#
# The database is generated into WORK_DIR (/tmp/marks-cold-start) when missing;
# the editor is copied beside it, since the switches open the program's own folder.
set -eu

build=$(cd "${1:-build}" && pwd)
work=${2:-/tmp/marks-cold-start}
runs=${RUNS:-5}

for tool in "$build/bin/marks-editor" "$build/bin/cold_start_tool" "$build/bin/window_open_tool" /usr/bin/time; do
    [ -x "$tool" ] || { echo "missing $tool (build the project first)" >&2; exit 1; }
done
if [ ! -f "$work/bin/marks.sml" ] || [ ! -f "$work/marks.gpx" ]; then
    echo "generating the benchmark database in $work"
    "$build/bin/cold_start_tool" make "$work"
fi
# Laid out as a build is: the program with the sample's icons beside the tables,
# the Icons.ini one folder up.
source=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$work/bin/MarksIcons" "$work/MarksIcons"
cp "$source"/sample/MarksIcons/* "$work/bin/MarksIcons/"
cp "$source/sample/Icons.ini" "$work/MarksIcons/"
cp "$build/bin/marks-editor" "$work/bin/marks-editor"
out="$work/out"
mkdir -p "$out"
cd "$out"

ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'
}

# measure NAME COMMAND...: runs the command $runs times; prints the medians and
# leaves the median wall time in milliseconds in $median_ms.
measure() {
    name=$1
    shift
    : > "$out/times"
    i=0
    while [ "$i" -lt "$runs" ]; do
        start=$(date +%s%N)
        if ! /usr/bin/time -f '%M %U %S' -o "$out/rss" "$@" > "$out/log" 2>&1; then
            echo "$name failed:" >&2
            cat "$out/log" >&2
            exit 1
        fi
        end=$(date +%s%N)
        tail -n 1 "$out/rss" | awk -v ms=$(( (end - start) / 1000000 )) '{ printf "%d %d %d\n", ms, $1, ($2 + $3) * 1000 }' \
            >> "$out/times"
        i=$((i + 1))
    done
    mid=$(( (runs + 1) / 2 ))
    median_ms=$(cut -d' ' -f1 "$out/times" | sort -n | sed -n "${mid}p")
    median_kb=$(cut -d' ' -f2 "$out/times" | sort -n | sed -n "${mid}p")
    median_cpu=$(cut -d' ' -f3 "$out/times" | sort -n | sed -n "${mid}p")
    printf '%-30s %7.3f s %7.3f s cpu %7.1f MB   (runs: %s ms)\n' "$name" "$(ratio "$median_ms" 1000)" \
        "$(ratio "$median_cpu" 1000)" "$(ratio "$median_kb" 1024)" "$(cut -d' ' -f1 "$out/times" | tr '\n' ' ')"
}

unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
editor=$work/bin/marks-editor

echo "marks.sml: $(( $(stat -c %s "$work/bin/marks.sml") / 1000000 )) MB; medians of $runs cold processes"
measure "-exportWPT" "$editor" -exportWPT
wpt_ms=$median_ms
wpt_cpu=$median_cpu
measure "-exportMP" "$editor" -exportMP
measure "-exportKMZ" "$editor" -exportKMZ
kmz_ms=$median_ms
kmz_cpu=$median_cpu
unzip -p Vexamarks.kmz Vexamarks.kml > "$out/plain.kml"
measure "zlib -9 on the KMZ's KML" "$build/bin/cold_start_tool" deflate "$out/plain.kml"
printf 'KMZ export against zlib alone: %.2f, processor time %.2f (target at most 1.20)\n' \
    "$(ratio "$kmz_ms" "$median_ms")" "$(ratio "$kmz_cpu" "$median_cpu")"
if command -v gpsbabel > /dev/null; then
    measure "GPSBabel GPX to WPT" gpsbabel -i gpx -f "$work/marks.gpx" -o ozi -F "$out/gpsbabel.wpt"
    printf 'GPSBabel against -exportWPT: %.1f times the time, %.1f times the processor time\n' \
        "$(ratio "$median_ms" "$wpt_ms")" "$(ratio "$median_cpu" "$wpt_cpu")"
else
    echo "GPSBabel not installed: no comparison"
fi
measure "window: load to painted grid" env QT_QPA_PLATFORM=offscreen "$build/bin/window_open_tool" "$work/bin"
grep '^window:' "$out/log"
rm -rf "$out"
