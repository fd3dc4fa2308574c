#!/usr/bin/env bash
# Runs the command-line examples of README.md exactly as they are written there, in a folder of
# made-up photographs, and checks what each one produced.
# Usage: readme-examples.sh SOURCE_DIR CLI [BUILD_DIR CMAKE]
set -euo pipefail
source "$(dirname "$0")/DocsSupport.sh"
readonly SOURCE=$1 CLI=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir bin
ln -s "$CLI" bin/kelvoimage-cli  # the examples call the tool by its installed name
export PATH="$work/bin:$PATH"

# The photographs the examples work on: a colour gradient with a camera's make and model, two
# more in the folder for the batch (one named as cameras do), and a hot-spot picture bright in the middle.
write_bmp gradient.bmp 64 48 'r=x*4; g=y*5; b=(x+y)*2'
kelvoimage-cli gradient.bmp -o photo.jpg
insert_exif photo.jpg KelvoCam "Model 7"
write_bmp second.bmp 40 30 'r=100; g=80+x; b=60+y'
kelvoimage-cli second.bmp -o second.jpg
write_bmp third.bmp 30 40 'r=x*8; g=x*8; b=y*6'
kelvoimage-cli third.bmp -o third.JPG  # as most cameras name their files
write_bmp hotspot.bmp 64 48 'v=40; if ((x > 16 && x < 48 && y > 12 && y < 36)); then v=220; fi; r=v; g=v; b=v'
kelvoimage-cli hotspot.bmp -o hotspot.png
rm ./*.bmp

mapfile -t lines < <(markdown_sh_blocks "$SOURCE/README.md")
blocks=()
block=""
for line in "${lines[@]}"; do
    if [ "$line" = "@@" ]; then
        blocks+=("$block")
        block=""
    else
        block+="$line"$'\n'
    fi
done
[ ${#blocks[@]} -eq 5 ] || fail "README.md has ${#blocks[@]} sh examples, not the five this check knows"

run_example() {  # run_example N: the Nth example's standard output in example-N.out
    echo "--- example $1:"
    printf '%s' "${blocks[$1]}"
    bash -euo pipefail -c "${blocks[$1]}" >"example-$1.out" || fail "example $1 failed"
}

# 1. Turn and save: a JPEG, as high as the photograph was wide.
run_example 0
[ "$(od -An -tx1 -N2 photo-turned.jpg | tr -d ' ')" = ffd8 ] || fail "photo-turned.jpg is no JPEG"
[ "$(picture_size "$CLI" photo-turned.jpg)" = 48x64 ] ||
    fail "photo-turned.jpg is $(picture_size "$CLI" photo-turned.jpg), not 48x64"

# 2. The batch: every JPEG of the folder, whatever the letter case of its ending, has a brighter
#    copy of the same size in brighter/.
jpegs=(*.jpg *.JPG)
[[ " ${jpegs[*]} " == *" third.JPG "* ]] || fail "the folder holds no .JPG file: ${jpegs[*]}"
run_example 1
for f in "${jpegs[@]}"; do
    [ -f "brighter/$f" ] || fail "the batch wrote no brighter/$f"
    [ "$(picture_size "$CLI" "brighter/$f")" = "$(picture_size "$CLI" "$f")" ] ||
        fail "brighter/$f changed size"
    before=$(mean_intensity "$CLI" "$f")
    after=$(mean_intensity "$CLI" "brighter/$f")
    [ "$after" -gt "$before" ] || fail "brighter/$f is not brighter ($before -> $after)"
done
[ "$(ls brighter | wc -l)" -eq ${#jpegs[@]} ] || fail "the batch wrote other files: $(ls brighter)"

# 3. Hot-spot correction: a PNG of the photograph's size, darkened where the hot spot is bright
#    (there the factor is (768 - 660) * 1.2 / 768, in the margins (768 - 120) * 1.2 / 768).
run_example 2
[ "$(od -An -c -j1 -N3 corrected.png | tr -d ' ')" = PNG ] || fail "corrected.png is no PNG"
[ "$(be_uint32 corrected.png 16)x$(be_uint32 corrected.png 20)" = 64x48 ] ||
    fail "corrected.png is not 64x48"
kelvoimage-cli photo.jpg --crop 24,18,16,12 -o middle-before.png
kelvoimage-cli corrected.png --crop 24,18,16,12 -o middle-after.png
kelvoimage-cli photo.jpg --crop 0,0,12,12 -o corner-before.png
kelvoimage-cli corrected.png --crop 0,0,12,12 -o corner-after.png
middleBefore=$(mean_intensity "$CLI" middle-before.png)
middleAfter=$(mean_intensity "$CLI" middle-after.png)
cornerBefore=$(mean_intensity "$CLI" corner-before.png)
cornerAfter=$(mean_intensity "$CLI" corner-after.png)
[ $((middleAfter * 4)) -lt "$middleBefore" ] ||
    fail "the hot spot was not darkened to a sixth: $middleBefore -> $middleAfter"
[ "$cornerAfter" -ge "$cornerBefore" ] ||
    fail "the margin, at a factor above 1, got darker: $cornerBefore -> $cornerAfter"

# 4. The info report: the camera's tags, one per line, without carriage returns.
run_example 3
grep -qx 'Manufacturer: KelvoCam' example-3.out || fail "no make in the report: $(cat example-3.out)"
grep -qx 'Model: Model 7' example-3.out || fail "no model in the report"
! grep -q $'\r' example-3.out || fail "the report still has carriage returns"

# 5. Print to PDF: one Letter page.
run_example 4
[ "$(head -c 5 photo.pdf)" = "%PDF-" ] || fail "photo.pdf is no PDF"
info=$(pdfinfo photo.pdf) || fail "pdfinfo cannot read photo.pdf"
grep -q '^Pages: *1$' <<<"$info" || fail "photo.pdf has not one page: $info"
grep -q '^Page size: *612 x 792 pts (letter)' <<<"$info" || fail "photo.pdf is not Letter: $info"

echo "all five README examples ran as written"
