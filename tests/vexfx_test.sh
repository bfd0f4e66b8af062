#!/usr/bin/env bash
# Drives the command-line host: listing, a render, and each kind of error.
# Usage: vexfx_test.sh VEXFX SAMPLE.png
set -u
VEXFX=$1
SAMPLE=$2
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# expect_error STATUS MESSAGE-FRAGMENT ARGS...: the command exits with STATUS
# and says MESSAGE-FRAGMENT on stderr after the "vexfx: " prefix.
expect_error() {
    local status=$1 fragment=$2
    shift 2
    "$VEXFX" "$@" >"$WORK/out" 2>"$WORK/err"
    local got=$?
    [ "$got" -eq "$status" ] || fail "$* exited $got, expected $status"
    grep -q "^vexfx: .*$fragment" "$WORK/err" || fail "$* said: $(head -1 "$WORK/err")"
}

is_png() { [ "$(head -c 8 "$1" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ]; }

# Listing shows the built effects, and marks unbuilt ones.
"$VEXFX" list >"$WORK/list" || fail "list exited non-zero"
grep -q '^VXETransform .*Transform' "$WORK/list" || fail "list lacks VXETransform"
grep -q '^VXEColorAdjust ' "$WORK/list" || fail "list lacks VXEColorAdjust"
grep -q '^VXETransform .*(not built)' "$WORK/list" && fail "VXETransform listed as not built"
[ "$(wc -l <"$WORK/list")" -eq 25 ] || fail "list has $(wc -l <"$WORK/list") lines, expected 25"

"$VEXFX" params VXETransform >"$WORK/params" || fail "params exited non-zero"
grep -q '1\. effect.*choice.*rotate' "$WORK/params" || fail "params lacks 1. effect choices"

# Renders: a rotation at both depths, a boolean, a choice by index, and the
# untouched identity giving back the picture at 24 bpp.
"$VEXFX" render VXETransform "$SAMPLE" "$WORK/rot.png" --set "1. effect=rotate" \
    --set "1. amount=25" || fail "rotate render exited non-zero"
is_png "$WORK/rot.png" || fail "rotate render wrote no PNG"
"$VEXFX" render VXETransform "$SAMPLE" "$WORK/rot24.png" --bpp 24 --set "1. effect=6" \
    --set "1. amount=25" --set "interlaced=false" --progress 0.5 || fail "24 bpp render failed"
is_png "$WORK/rot24.png" || fail "24 bpp render wrote no PNG"
"$VEXFX" render VXETransform "$SAMPLE" "$WORK/same.png" --bpp 24 || fail "identity render failed"
"$VEXFX" render VXETransform "$WORK/same.png" "$WORK/same2.png" --bpp 24 || fail "re-render failed"
cmp -s "$WORK/same.png" "$WORK/same2.png" || fail "identity render changed the picture"

# Ghost over a clip: without earlier frames the input comes through; a single
# ghost at full visibility one frame back shows that frame alone.
"$VEXFX" render VXEGhost "$SAMPLE" "$WORK/ghost0.png" || fail "ghost render failed"
"$VEXFX" render VXEGhost "$WORK/ghost0.png" "$WORK/ghost0b.png" || fail "ghost re-render failed"
cmp -s "$WORK/ghost0.png" "$WORK/ghost0b.png" || fail "ghost without frames changed the picture"
"$VEXFX" render VXEGhost "$SAMPLE" "$WORK/ghost1.png" --frames "$WORK/rot.png" "$SAMPLE" \
    --set "Space=2" --set "Visibility of ghosts=100" || fail "ghost clip render failed"
"$VEXFX" render VXEGhost "$WORK/rot.png" "$WORK/rot2.png" || fail "ghost rot render failed"
cmp -s "$WORK/ghost1.png" "$WORK/rot2.png" || fail "the ghost two frames back is not the rotated frame"
"$VEXFX" render VXEGhost "$SAMPLE" "$WORK/trail.png" --frames "$WORK/rot.png" "$WORK/rot24.png" \
    --set "No. of Ghosts=2" --set "Space=1" --set "Visibility of ghosts=40" || fail "trail failed"
is_png "$WORK/trail.png" || fail "trail render wrote no PNG"

# The Background's file and offset fill its settings block; a file that is no
# video leaves the clip as it is.
"$VEXFX" render VXEBackground "$SAMPLE" "$WORK/bg.png" --bpp 24 --video "$WORK/none.avi" \
    --video-offset 10 || fail "background render failed"
"$VEXFX" render VXETransform "$SAMPLE" "$WORK/same3.png" --bpp 24 || fail "identity render failed"
cmp -s "$WORK/bg.png" "$WORK/same3.png" || fail "background without a video changed the picture"
expect_error 2 "are for VXEBackground" render VXETransform "$SAMPLE" "$WORK/x.png" --video a.avi
expect_error 2 "--video-offset" render VXEBackground "$SAMPLE" "$WORK/x.png" --video-offset 101

# Usage errors.
expect_error 2 "no command" 
expect_error 2 "unknown command" frobnicate
expect_error 2 "render needs" render VXETransform "$SAMPLE"
expect_error 2 "NAME=VALUE" render VXETransform "$SAMPLE" "$WORK/x.png" --set amount
expect_error 2 "--bpp" render VXETransform "$SAMPLE" "$WORK/x.png" --bpp 16
expect_error 2 "--frames needs" render VXEGhost "$SAMPLE" "$WORK/x.png" --frames --bpp 24
expect_error 2 "--progress" render VXETransform "$SAMPLE" "$WORK/x.png" --progress 1.5
# Other errors.
expect_error 1 "unknown effect" params VXENoSuchEffect
# Any effect the list marks as not built (none once every effect is in).
unbuilt=$(awk '/\(not built\)/ {print $1; exit}' "$WORK/list")
[ -z "$unbuilt" ] || expect_error 1 "not built" render "$unbuilt" "$SAMPLE" "$WORK/x.png"
expect_error 1 "unknown parameter" render VXETransform "$SAMPLE" "$WORK/x.png" --set "spin=3"
expect_error 1 "does not fit" render VXETransform "$SAMPLE" "$WORK/x.png" --set "1. amount=lots"
expect_error 1 "does not fit" render VXETransform "$SAMPLE" "$WORK/x.png" --set "1. amount=nan"
expect_error 1 "does not fit" render VXETransform "$SAMPLE" "$WORK/x.png" --set "1. amount=301"
expect_error 1 "does not fit" render VXETransform "$SAMPLE" "$WORK/x.png" --set "1. effect=17"
expect_error 1 "does not fit" render VXETransform "$SAMPLE" "$WORK/x.png" --set "1. effect=spin"
expect_error 1 "does not fit" render VXETransform "$SAMPLE" "$WORK/x.png" --set "interlaced=maybe"
expect_error 1 "input alone" render VXETransform "$SAMPLE" "$WORK/x.png" --frames "$SAMPLE"
expect_error 1 "cannot open" render VXEGhost "$SAMPLE" "$WORK/x.png" --frames "$WORK/missing.png"
expect_error 1 "cannot open" render VXETransform "$WORK/missing.png" "$WORK/x.png"
echo "plain text" >"$WORK/text.png"
expect_error 1 "neither a PNG nor a JPEG" render VXETransform "$WORK/text.png" "$WORK/x.png"
head -c 200 "$SAMPLE" >"$WORK/cut.png"
expect_error 1 "PNG" render VXETransform "$WORK/cut.png" "$WORK/x.png"
printf '\xff\xd8\xff\xe0junk' >"$WORK/cut.jpg"
expect_error 1 "JPEG" render VXETransform "$WORK/cut.jpg" "$WORK/x.png"
expect_error 1 "cannot write" render VXETransform "$SAMPLE" "$WORK/no/such/dir/x.png"

# Videos: every frame through the effect, on one worker and on three, which
# must agree (ZoomAndMove moves with the clip's time); then the errors.
MAKE_VIDEO="$(dirname "$0")/../scripts/make-test-video.py"
python3 "$MAKE_VIDEO" "$WORK/clip.avi" 48 32 7 || fail "could not write the test clip"
for jobs in 1 3; do
    "$VEXFX" video VXEZoomAndMove "$WORK/clip.avi" "$WORK/out$jobs.avi" --jobs $jobs \
        --set "Zoom (end)=2.5" --set "Left margin (end)=30" 2>"$WORK/err" || fail "video render on $jobs workers failed"
    grep -q "7 frames rendered with $jobs workers" "$WORK/err" || fail "video said: $(cat "$WORK/err")"
done
cmp -s "$WORK/out1.avi" "$WORK/out3.avi" || fail "one and three workers rendered different videos"
"$VEXFX" video VXETransform "$WORK/clip.avi" "$WORK/out.mkv" --bpp 24 2>/dev/null ||
    fail "24 bpp video render failed"
[ -s "$WORK/out.mkv" ] || fail "24 bpp video render wrote nothing"
expect_error 2 "--jobs" video VXETransform "$WORK/clip.avi" "$WORK/x.avi" --jobs 0
expect_error 1 "cannot open" video VXETransform "$WORK/missing.avi" "$WORK/x.avi"
expect_error 1 "does not fit" video VXETransform "$WORK/clip.avi" "$WORK/x.avi" --set "1. amount=nan"
expect_error 1 "no container" video VXETransform "$WORK/clip.avi" "$WORK/x.nosuchformat"

[ "$failures" -eq 0 ] && echo "vexfx: all checks passed"
exit $((failures > 0))
