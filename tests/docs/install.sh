#!/usr/bin/env bash
# `cmake --install` into a fresh prefix: the programs, the help file, the desktop entry and the
# manual pages land where the README says, and the installed programs run from there.
# Usage: install.sh SOURCE_DIR CLI BUILD_DIR CMAKE
set -euo pipefail
source "$(dirname "$0")/DocsSupport.sh"
readonly SOURCE=$1 BUILD=$3 CMAKE=$4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
"$CMAKE" --install "$BUILD" --prefix "$prefix" >"$work/install.log" ||
    fail "cmake --install failed: $(cat "$work/install.log")"

for program in kelvoimage kelvoimage-cli; do
    [ -x "$prefix/bin/$program" ] || fail "no executable bin/$program"
done
cmp "$SOURCE/data/Kelvo Image Help.RTF" "$prefix/share/kelvoimage/Kelvo Image Help.RTF" ||
    fail "the help file is not in share/kelvoimage/"
for page in kelvoimage.1 kelvoimage-cli.1; do
    cmp "$SOURCE/docs/man/$page" "$prefix/share/man/man1/$page" || fail "$page is not in share/man/man1/"
done
entry=$prefix/share/applications/kelvoimage.desktop
[ -f "$entry" ] || fail "no desktop entry in share/applications/"
grep -qx 'Exec=kelvoimage %f' "$entry" || fail "the desktop entry does not run kelvoimage: $(cat "$entry")"
grep -qx 'MimeType=.*image/jpeg;.*' "$entry" || fail "the desktop entry opens no JPEG"
# The help window looks for its file under ../share/kelvoimage/ from the program's folder.
[ -f "$prefix/bin/../share/kelvoimage/Kelvo Image Help.RTF" ] ||
    fail "the help file is not where the installed program looks"

# The installed tool answers and works, away from the build folder.
"$prefix/bin/kelvoimage-cli" --help | grep -q '^usage: kelvoimage-cli' || fail "installed --help"
"$prefix/bin/kelvoimage-cli" --version | grep -q '^kelvoimage-cli [0-9]' || fail "installed --version"
write_bmp "$work/small.bmp" 12 10 'r=x*20; g=y*20; b=0'
"$prefix/bin/kelvoimage-cli" "$work/small.bmp" --ccw -o "$work/small.png" || fail "installed tool"
[ "$(be_uint32 "$work/small.png" 16)x$(be_uint32 "$work/small.png" 20)" = 10x12 ] ||
    fail "the installed tool did not turn the picture"

# The installed viewer starts with a picture and keeps running until it is stopped (it keeps
# its settings in a folder of the test's own).
mkdir "$work/settings"
printf '[Asked]\nRegister=1\n' >"$work/settings/KelvoImage.Ini"
status=0
KELVO_EXE_DIR=$work/settings XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data \
    QT_QPA_PLATFORM=offscreen timeout 5 "$prefix/bin/kelvoimage" "$work/small.png" \
    >"$work/viewer.log" 2>&1 || status=$?
[ "$status" -eq 124 ] || fail "the installed viewer ended by itself ($status): $(cat "$work/viewer.log")"

MANWIDTH=80 man -l "$prefix/share/man/man1/kelvoimage-cli.1" | grep -q '^SYNOPSIS' ||
    fail "man cannot show the installed kelvoimage-cli.1"
echo "the installed programs, help file, desktop entry and manual pages are in place"
