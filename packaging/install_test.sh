#!/bin/sh
# Installs the build into a temporary prefix, checks the files an installation
# holds, and runs a headless export of the installed sample project from there.
# Arguments: the build folder, then the program's, the web view module's and the
# shared files' folders below the prefix.
set -eu
build=$1 bindir=$2 moduledir=$3 datadir=$4
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for file in "$bindir/marks-editor" "$moduledir/libmarks_web_engine.so" share/applications/marks-editor.desktop \
            share/icons/hicolor/scalable/apps/marks-editor.svg "$datadir/sample/Categorymarks.sml" \
            "$datadir/sample/marks.sml" "$datadir/sample/MarksIcons/flag.png" "$datadir/MarksIcons/Icons.ini"; do
  [ -f "$prefix/$file" ] || { echo "not installed: $file"; exit 1; }
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/marks-editor.desktop"
fi
mkdir "$prefix/out"
cd "$prefix/out"
for switch in -exportMP -exportKMZ; do
  output=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_RUNTIME_DIR \
           "$prefix/$bindir/marks-editor" $switch "$prefix/$datadir/sample" 2>&1) || { echo "$switch: $output"; exit 1; }
  [ -z "$output" ] || { echo "$switch printed: $output"; exit 1; }
done
# The MP file's types come from the installed Icons.ini, the KMZ's icons from the
# installed sample's MarksIcons.
grep -q '^Type=0x2b03' Vexamarks.mp || { echo "no type of Icons.ini in Vexamarks.mp"; exit 1; }
unzip -l Vexamarks.kmz | grep -q ' flag.png$' || { echo "no icon in Vexamarks.kmz"; exit 1; }
