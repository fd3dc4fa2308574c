#!/usr/bin/env bash
# `cmake --install` into a fresh prefix: the programs, the help file, the desktop entry with its
# AppStream metainfo and icons, and the manual pages land where the README says and pass the
# desktop's validators, and the installed programs run from there, keeping their settings in the
# user's configuration folder.
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
entry=$prefix/share/applications/org.kelvoimage.viewer.desktop
[ -f "$entry" ] || fail "no desktop entry in share/applications/"
grep -qx 'Exec=kelvoimage %f' "$entry" || fail "the desktop entry does not run kelvoimage: $(cat "$entry")"
grep -qx 'MimeType=.*image/jpeg;.*' "$entry" || fail "the desktop entry opens no JPEG"
grep -qx 'Icon=org.kelvoimage.viewer' "$entry" || fail "the desktop entry names no icon"
command -v desktop-file-validate >/dev/null || fail "desktop-file-validate is not installed (./kelvo installs desktop-file-utils)"
said=$(desktop-file-validate "$entry" 2>&1) && [ -z "$said" ] || fail "desktop-file-validate: $said"
metainfo=$prefix/share/metainfo/org.kelvoimage.viewer.metainfo.xml
[ -f "$metainfo" ] || fail "no AppStream metainfo in share/metainfo/"
command -v appstreamcli >/dev/null || fail "appstreamcli is not installed (./kelvo installs appstream)"
said=$(appstreamcli validate --pedantic --no-net "$metainfo" 2>&1) ||
    fail "appstreamcli validate: $said"
grep -q '<launchable type="desktop-id">org.kelvoimage.viewer.desktop</launchable>' "$metainfo" ||
    fail "the metainfo does not launch the installed desktop entry"
icons=$prefix/share/icons/hicolor
[ -f "$icons/scalable/apps/org.kelvoimage.viewer.svg" ] || fail "no scalable icon"
for size in 16 32 48 128 256; do
    png=$icons/${size}x${size}/apps/org.kelvoimage.viewer.png
    [ -f "$png" ] || fail "no ${size} px icon"
    [ "$(be_uint32 "$png" 16)x$(be_uint32 "$png" 20)" = "${size}x${size}" ] ||
        fail "the ${size} px icon is $(be_uint32 "$png" 16)x$(be_uint32 "$png" 20)"
done
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
# It starts without a display's libraries (QtGui, the window system, D-Bus) and loads the page
# module installed in lib/kelvoimage/ for --print-pdf alone.
gui_libraries=$(ldd "$prefix/bin/kelvoimage-cli" | grep -E 'libQt6(Gui|DBus)|libX11|libxcb|libdbus|libEGL|libGL' || true)
[ -z "$gui_libraries" ] || fail "the installed tool links display libraries: $gui_libraries"
"$prefix/bin/kelvoimage-cli" "$work/small.bmp" --print-pdf "$work/small.pdf" ||
    fail "the installed tool cannot write a PDF page"
[ "$(head -c 5 "$work/small.pdf")" = "%PDF-" ] || fail "the installed tool's PDF is no PDF"
# Nor does it link libtiff, libheif, LibRaw or Exiv2: their modules beside the page module are
# loaded when a file needs them (the tag report of a JPEG loads the tags module).
heavy_libraries=$(ldd "$prefix/bin/kelvoimage-cli" | grep -E 'libtiff|libheif|libraw|libexiv2' || true)
[ -z "$heavy_libraries" ] || fail "the installed tool links the modules' libraries: $heavy_libraries"
for module in pdf tiff heif raw tags; do
    [ -f "$prefix/lib/kelvoimage/kelvoimage-cli-$module.so" ] ||
        fail "no module lib/kelvoimage/kelvoimage-cli-$module.so"
done
"$prefix/bin/kelvoimage-cli" "$work/small.bmp" -o "$work/small.jpg" || fail "installed tool, JPEG"
"$prefix/bin/kelvoimage-cli" "$work/small.jpg" --info >"$work/info.out" ||
    fail "the installed tool cannot read a JPEG's tags"

# The installed viewer answers --help and --version at once, without a display, and refuses an
# option it does not know.
no_display=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
"${no_display[@]}" timeout 1 "$prefix/bin/kelvoimage" --help >"$work/help.out" ||
    fail "kelvoimage --help did not exit 0 within a second"
grep -q '^usage: kelvoimage ' "$work/help.out" || fail "kelvoimage --help: $(cat "$work/help.out")"
grep -q 'HOTSPOT_FILE FILE' "$work/help.out" || fail "kelvoimage --help omits the hot-spot form"
grep -q 'XDG_CONFIG_HOME' "$work/help.out" || fail "kelvoimage --help omits the environment"
version=$("${no_display[@]}" timeout 1 "$prefix/bin/kelvoimage" --version) ||
    fail "kelvoimage --version did not exit 0 within a second"
[ "$version" = "kelvoimage $("$prefix/bin/kelvoimage-cli" --version | cut -d' ' -f2)" ] ||
    fail "kelvoimage --version printed '$version'"
status=0
"${no_display[@]}" timeout 1 "$prefix/bin/kelvoimage" --no-such-option >/dev/null 2>"$work/misuse.err" ||
    status=$?
[ "$status" -eq 2 ] && grep -q '^usage: kelvoimage ' "$work/misuse.err" ||
    fail "an unknown option gave status $status and: $(cat "$work/misuse.err")"

# The installed viewer starts with a picture and keeps running until it is stopped (on a first
# start it waits at the registration questions). Its settings go to the user's configuration
# folder, nothing beside the program; a KelvoImage.Ini put beside it makes it a portable copy
# that keeps its settings there.
run_viewer() {
    local status=0
    env -u KELVO_EXE_DIR HOME="$work/home" XDG_CONFIG_HOME="$work/config" \
        XDG_DATA_HOME="$work/data" QT_QPA_PLATFORM=offscreen \
        timeout 3 "$prefix/bin/kelvoimage" "$work/small.png" >"$work/viewer.log" 2>&1 || status=$?
    [ "$status" -eq 124 ] || fail "the installed viewer ended by itself ($status): $(cat "$work/viewer.log")"
}
run_viewer
own=$work/config/KelvoImage/KelvoImage.Ini
grep -qx 'Register=1' "$own" 2>/dev/null || fail "the viewer wrote no settings into $own"
[ "$(ls -A "$prefix/bin" | tr '\n' ' ')" = "kelvoimage kelvoimage-cli " ] ||
    fail "the viewer wrote beside itself: $(ls -A "$prefix/bin")"
cp "$own" "$work/own-before"
printf '[Pan]\nSpeed=30\n' >"$prefix/bin/KelvoImage.Ini"
run_viewer
grep -qx 'Register=1' "$prefix/bin/KelvoImage.Ini" ||
    fail "the viewer did not use the KelvoImage.Ini beside it: $(cat "$prefix/bin/KelvoImage.Ini")"
cmp -s "$own" "$work/own-before" || fail "the portable copy changed $own"

MANWIDTH=80 man -l "$prefix/share/man/man1/kelvoimage-cli.1" | grep -q '^SYNOPSIS' ||
    fail "man cannot show the installed kelvoimage-cli.1"
echo "the installed programs, help file, desktop entry, metainfo, icons and manual pages are in place"
