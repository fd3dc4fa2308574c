#!/usr/bin/env bash
# End-to-end timing of kelvoimage-cli against libvips and ImageMagick on one 6000x4000 JPEG,
# one thread each. Builds nothing: expects build/release/kelvoimage-cli (./kelvo build), or
# KELVO_CLI=path. Prints, per operation, the median wall time (and CPU time) of each program over
# RUNS alternating runs and the ratio ours/vips (lower is better; the goal is at most 0.8 of wall
# time); rows with an ImageMagick command also give ours/fastest peer (the tone rows aim at 0.7).
# ONLY=regex keeps the rows whose name matches.
# Two rows follow the table, on every core and unpinned: a batch of 50 copies of the photograph
# (--negative, one run with --out-dir against a shell loop of 50 single runs; the goal is at most
# 0.6), and the start-up (50 runs of --version against 50 of exiv2 --version; at most 1.5).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
CLI=${KELVO_CLI:-$ROOT/build/release/kelvoimage-cli}
RUNS=${RUNS:-9}
ONLY=${ONLY:-.}

# One row per operation: name | our options | the vips command (or, after "!", another peer's
# whole command, shown in the vips columns) | the ImageMagick convert arguments, or nothing
# ({in} and {out} filled in).
ROWS=(
    "turn-cw|--cw --quality 95|rot {in} {out}[Q=95] d90"
    "flip|--flip --quality 95|flip {in} {out}[Q=95] vertical"
    "flop|--mirror --quality 95|flip {in} {out}[Q=95] horizontal"
    "shrink-by-2|--half --quality 95|shrink {in} {out}[Q=95] 2 2"
    "equalize|--linear --quality 95|hist_equal {in} {out}[Q=95]|{in} -equalize -quality 95 {out}"
    "brighten|--brightness 25 --quality 95|linear {in} {out}[Q=95] 1.25 0|{in} -evaluate multiply 1.25 -quality 95 {out}"
    "negate|--negative --quality 95|invert {in} {out}[Q=95]|{in} -negate -quality 95 {out}"
    "rotate-15|--rotate 15 --quality 95|rotate {in} {out}[Q=95] 15 --interpolate nearest|{in} -filter point -rotate 15 -quality 95 {out}"
    # The lossless quarter turn (no --quality: the coefficients are laid the new way) against
    # the reference lossless transform; the goal is at most 1.1 times jpegtran's time.
    "lossless-cw|--cw|!jpegtran -rotate 90 -perfect -outfile {out} {in}"
)

if [ ! -x "$CLI" ]; then
    echo "compare-peers: $CLI is missing; build it first (./kelvo build)" >&2
    exit 1
fi
if ! command -v vips >/dev/null; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends libvips-tools
fi

# The ImageMagick 6 binary itself, ahead of any wrapper that a plain "convert" may resolve to.
MAGICK=${MAGICK:-$(command -v convert-im6.q16 || command -v magick || command -v convert || true)}
export MAGICK_THREAD_LIMIT=1

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
# Ours shares its large loops over the cores unless told otherwise.
export VIPS_CONCURRENCY=1 MAGICK_THREAD_LIMIT=1 KELVO_THREADS=1

# "One thread each" is held to by the processor, not only by the programs' thread settings:
# libvips decodes and encodes on helper threads even with VIPS_CONCURRENCY=1, which on a
# second core would turn its CPU time into less wall time than a single thread can give. Every
# program runs pinned to the same one core.
PIN=()
if command -v taskset >/dev/null; then
    PIN=(taskset -c "$(($(nproc) - 1))")
fi

# A photograph-like input: smooth colour fields (upscaled noise) with fine grain on top.
IN=$WORK/in.jpg
vips gaussnoise "$WORK/coarse.v" 1500 1000 --mean 128 --sigma 50
vips bandjoin "$WORK/coarse.v $WORK/coarse.v $WORK/coarse.v" "$WORK/coarse3.v"
vips gaussnoise "$WORK/tint.v" 1500 1000 --mean 0 --sigma 25
vips bandjoin "$WORK/tint.v $WORK/coarse.v $WORK/tint.v" "$WORK/tint3.v"
vips add "$WORK/coarse3.v" "$WORK/tint3.v" "$WORK/colour.v"
vips resize "$WORK/colour.v" "$WORK/big.v" 4 --kernel cubic
vips gaussnoise "$WORK/grain.v" 6000 4000 --mean 0 --sigma 6
vips add "$WORK/big.v" "$WORK/grain.v" "$WORK/photo.v"
vips cast "$WORK/photo.v" "${IN}[Q=90]" uchar
rm -f "$WORK"/*.v
echo "input: $(vipsheader "$IN") ($(stat -c %s "$IN") bytes), $RUNS runs each, VIPS_CONCURRENCY=1," \
    "${PIN[*]:-not pinned (no taskset)}"

# /usr/bin/time when present: it also gives the CPU time, which a busy machine disturbs less
# than the wall time. Our save flushes its file to disk before it replaces the old one, and on
# ext4 that flush also writes out whatever another program left unwritten; each run therefore
# starts with nothing left to write, so that no program pays for the one before it.
measure() {  # measure COMMAND...: prints "wall cpu" in seconds for one run
    sync
    if [ -x /usr/bin/time ]; then
        /usr/bin/time -f '%e %U %S' -o "$WORK/time.out" "${PIN[@]}" "$@" >/dev/null
        awk '{ printf "%s %.2f\n", $1, $2 + $3 }' "$WORK/time.out"
    else
        local start end
        start=$(date +%s%N)
        "${PIN[@]}" "$@" >/dev/null
        end=$(date +%s%N)
        echo "$(echo "scale=3; ($end - $start) / 1000000000" | bc) 0"
    fi
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { echo "scale=3; $1 / $2" | bc | sed 's/^\./0./'; }

printf '%-11s %9s %9s %9s %9s %9s | %9s %9s %9s\n' operation "ours s" "vips s" "magick s" \
    ours/vips ours/best "ours cpu" "vips cpu" ours/vips
for row in "${ROWS[@]}"; do
    IFS='|' read -r name ours theirs magick <<<"$row"
    [[ $name =~ $ONLY ]] || continue
    theirs=${theirs//\{in\}/$IN}
    theirs=${theirs//\{out\}/$WORK/vips-out.jpg}
    magick=${magick//\{in\}/$IN}
    magick=${magick//\{out\}/$WORK/magick-out.jpg}
    [ -n "$MAGICK" ] || magick=""
    : >"$WORK/ours.t"
    : >"$WORK/vips.t"
    : >"$WORK/magick.t"
    for ((i = 0; i < RUNS; i++)); do
        # shellcheck disable=SC2086  # the option lists are meant to split
        measure "$CLI" "$IN" $ours -o "$WORK/ours-out.jpg" >>"$WORK/ours.t"
        # shellcheck disable=SC2086
        if [[ $theirs == !* ]]; then
            measure ${theirs#!} >>"$WORK/vips.t"
        else
            measure vips $theirs >>"$WORK/vips.t"
        fi
        # shellcheck disable=SC2086
        [ -z "$magick" ] || measure "$MAGICK" $magick >>"$WORK/magick.t"
    done
    ow=$(cut -d' ' -f1 "$WORK/ours.t" | median)
    vw=$(cut -d' ' -f1 "$WORK/vips.t" | median)
    oc=$(cut -d' ' -f2 "$WORK/ours.t" | median)
    vc=$(cut -d' ' -f2 "$WORK/vips.t" | median)
    vcr=$vc
    [ "$(echo "$vc == 0" | bc)" -eq 1 ] && vcr=1
    mw=-
    best=$vw
    if [ -n "$magick" ]; then
        mw=$(cut -d' ' -f1 "$WORK/magick.t" | median)
        [ "$(echo "$mw < $best" | bc)" -eq 1 ] && best=$mw
    fi
    printf '%-11s %9s %9s %9s %9s %9s | %9s %9s %9s\n' "$name" "$ow" "$vw" "$mw" \
        "$(ratio "$ow" "$vw")" "$(ratio "$ow" "$best")" "$oc" "$vc" "$(ratio "$oc" "$vcr")"
done

# ---- a batch, and the start-up ----
# Both sides of each row are ours or equally unpinned, on all the cores the machine has. The CPU
# time (user + system) is given too: on a busy machine a second thread may get no second core,
# and the wall time then hides what the batch saves.
unset KELVO_THREADS
BATCH_RUNS=${BATCH_RUNS:-3}
export CLI
timed() {  # timed SCRIPT: "wall cpu" in seconds for one run of the bash script
    sync
    /usr/bin/time -f '%e %U %S' -o "$WORK/time.out" bash -c "$1" >/dev/null
    awk '{ printf "%s %.2f\n", $1, $2 + $3 }' "$WORK/time.out"
}
printf '\n%-11s %9s %9s %9s | %9s %9s %9s   (%s cores)\n' operation "ours s" "peer s" ours/peer \
    "ours cpu" "peer cpu" ours/peer "$(nproc)"
row() {  # row NAME OURS.t PEER.t NOTE
    local ow pw oc pc
    ow=$(cut -d' ' -f1 "$2" | median)
    pw=$(cut -d' ' -f1 "$3" | median)
    oc=$(cut -d' ' -f2 "$2" | median)
    pc=$(cut -d' ' -f2 "$3" | median)
    printf '%-11s %9s %9s %9s | %9s %9s %9s   (%s)\n' "$1" "$ow" "$pw" "$(ratio "$ow" "$pw")" \
        "$oc" "$pc" "$(ratio "$oc" "$pc")" "$4"
}
if [ -x /usr/bin/time ] && [[ batch-50 =~ $ONLY ]]; then
    mkdir -p "$WORK/batch" "$WORK/batch-out" "$WORK/loop-out"
    for ((i = 0; i < 50; i++)); do ln "$IN" "$WORK/batch/photo-$i.jpg"; done
    : >"$WORK/batch.t"
    : >"$WORK/loop.t"
    for ((i = 0; i < BATCH_RUNS; i++)); do
        timed "\"\$CLI\" --negative --quiet --out-dir '$WORK/batch-out' '$WORK'/batch/*.jpg" >>"$WORK/batch.t"
        rm -f "$WORK"/batch-out/*
        # The loop a script would write without --out-dir.
        timed "for f in '$WORK'/batch/*.jpg; do
                   \"\$CLI\" \"\$f\" --negative -o '$WORK/loop-out/'\"\${f##*/}\" || exit 1
               done" >>"$WORK/loop.t"
        rm -f "$WORK"/loop-out/*
    done
    row batch-50 "$WORK/batch.t" "$WORK/loop.t" "--negative; peer: a shell loop of 50 runs"
    rm -rf "$WORK/batch" "$WORK/batch-out" "$WORK/loop-out"
fi
if [ -x /usr/bin/time ] && [[ start-up =~ $ONLY ]] && command -v exiv2 >/dev/null; then
    : >"$WORK/ours-start.t"
    : >"$WORK/exiv2-start.t"
    for ((i = 0; i < RUNS; i++)); do
        timed 'for i in {1..50}; do "$CLI" --version; done' >>"$WORK/ours-start.t"
        timed 'for i in {1..50}; do exiv2 --version; done' >>"$WORK/exiv2-start.t"
    done
    row start-up "$WORK/ours-start.t" "$WORK/exiv2-start.t" "50 runs of --version; peer: exiv2"
fi
