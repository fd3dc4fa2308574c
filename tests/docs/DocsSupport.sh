# Helpers shared by the documentation checks (sourced, not run).

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The fenced ```sh blocks of a Markdown file, each ended by a line holding only "@@".
markdown_sh_blocks() {
    awk '/^```sh$/ { inside = 1; next }
         /^```$/ && inside { inside = 0; print "@@"; next }
         inside { print }' "$1"
}

# The .EX/.EE example blocks of a manual page with the roff escapes it uses undone, each ended
# by a line holding only "@@".
man_example_blocks() {
    awk '/^\.EX$/ { inside = 1; next }
         /^\.EE$/ && inside { inside = 0; print "@@"; next }
         inside { print }' "$1" |
        sed -e 's/\\-/-/g' -e "s/\\\\(aq/'/g" -e 's/\\(dq/"/g' -e 's/\\e/\\/g'
}

# Little-endian unsigned integer of `size` bytes at `offset` of a file.
le_uint() {
    local file=$1 offset=$2 size=$3 value=0 i
    local bytes=($(od -An -tu1 -j "$offset" -N "$size" "$file"))
    for ((i = size - 1; i >= 0; i--)); do value=$((value * 256 + bytes[i])); done
    echo "$value"
}

# Big-endian unsigned 32-bit integer at `offset` (PNG header fields).
be_uint32() {
    local bytes=($(od -An -tu1 -j "$2" -N 4 "$1"))
    echo $(((bytes[0] << 24) | (bytes[1] << 16) | (bytes[2] << 8) | bytes[3]))
}

# "WIDTHxHEIGHT" of any picture the tool reads, through a BMP copy of it.
picture_size() {
    local cli=$1 file=$2 bmp
    bmp=$(mktemp --suffix=.bmp)
    "$cli" "$file" -o "$bmp" || fail "cannot convert $file to BMP"
    echo "$(le_uint "$bmp" 18 4)x$(le_uint "$bmp" 22 4)"
    rm -f "$bmp"
}

# The mean intensity (R + G + B, 0..765) of a picture, from the tool's histogram, as an integer.
mean_intensity() {
    "$1" "$2" --histogram | awk '{ total += $1 * (NR - 1); count += $1 }
                                  END { if (count == 0) exit 1; printf "%d\n", total / count }'
}

# write_bmp FILE WIDTH HEIGHT EXPRESSION: a 24-bit BMP whose pixel (x, y) has red, green and
# blue r, g, b as EXPRESSION (bash arithmetic over x and y) sets them.
write_bmp() {
    local file=$1 width=$2 height=$3 expression=$4
    local pad=$(((4 - width * 3 % 4) % 4))
    local rowSize=$((width * 3 + pad)) dataSize fileSize x y r g b
    dataSize=$((rowSize * height))
    fileSize=$((54 + dataSize))
    local le32='\\x%02x\\x%02x\\x%02x\\x%02x'
    {
        printf 'BM'
        printf "$(printf "$le32" $((fileSize & 255)) $((fileSize >> 8 & 255)) $((fileSize >> 16 & 255)) 0)"
        printf '\x00\x00\x00\x00\x36\x00\x00\x00\x28\x00\x00\x00'
        printf "$(printf "$le32" $((width & 255)) $((width >> 8 & 255)) 0 0)"
        printf "$(printf "$le32" $((height & 255)) $((height >> 8 & 255)) 0 0)"
        printf '\x01\x00\x18\x00\x00\x00\x00\x00'
        printf "$(printf "$le32" $((dataSize & 255)) $((dataSize >> 8 & 255)) $((dataSize >> 16 & 255)) 0)"
        printf '\x13\x0b\x00\x00\x13\x0b\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00'
        for ((y = height - 1; y >= 0; y--)); do
            local row="" pixel
            for ((x = 0; x < width; x++)); do
                eval "$expression"
                printf -v pixel '\\x%02x\\x%02x\\x%02x' $((b & 255)) $((g & 255)) $((r & 255))
                row+=$pixel
            done
            for ((x = 0; x < pad; x++)); do row+='\x00'; done
            printf "$row"
        done
    } >"$file"
}

# insert_exif JPEG MAKE MODEL: puts an EXIF block with the camera's make and model (IFD0 tags
# 0x010F and 0x0110) right after the JPEG's start marker.
insert_exif() {
    local jpeg=$1 make=$2 model=$3
    local makeCount=$((${#make} + 1)) modelCount=$((${#model} + 1))
    # TIFF header (8) + IFD0 with two entries (2 + 24 + 4), then the two strings.
    local makeOffset=38
    local modelOffset=$((makeOffset + makeCount))
    local tiffSize=$((modelOffset + modelCount))
    local segmentLength=$((2 + 6 + tiffSize))
    local tmp
    tmp=$(mktemp)
    {
        head -c 2 "$jpeg"
        printf "$(printf '\\xff\\xe1\\x%02x\\x%02x' $((segmentLength >> 8)) $((segmentLength & 255)))"
        printf 'Exif\x00\x00II\x2a\x00\x08\x00\x00\x00\x02\x00'
        printf "$(printf '\\x0f\\x01\\x02\\x00\\x%02x\\x00\\x00\\x00\\x%02x\\x00\\x00\\x00' $makeCount $makeOffset)"
        printf "$(printf '\\x10\\x01\\x02\\x00\\x%02x\\x00\\x00\\x00\\x%02x\\x00\\x00\\x00' $modelCount $modelOffset)"
        printf '\x00\x00\x00\x00'
        printf '%s\0%s\0' "$make" "$model"
        tail -c +3 "$jpeg"
    } >"$tmp"
    mv "$tmp" "$jpeg"
}
