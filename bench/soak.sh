#!/usr/bin/env bash
# bench/soak.sh SECONDS [depth]: parallax3d headless with the test cameras, broadcasting, while
# parallax3d-vcam and ffmpeg (through the frei0r plug-in) read the broadcast. Prints resident
# memory at one minute and at the end, open descriptors at both, the frames broadcast and
# dropped, and how many frames the readers showed that the channel never held (torn ones).
# "depth" runs the depth monitor with the comfort bar and automatic convergence, and adds the
# ticks a second the application counted and the frames a second the witness saw published.
# SIZE=1280x720 broadcasts at that size (640x480 unless told). RECORD=FILE records both eyes side
# by side into FILE meanwhile and adds the recording's figures.
set -euo pipefail
usage="usage: bench/soak.sh SECONDS [depth] (SECONDS at least 70)"
seconds=${1:?$usage}
mode=${2:-stereo}
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || ((seconds < 70)) || [[ "$mode" != stereo && "$mode" != depth ]]; then
    echo "soak.sh: $usage" >&2
    exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$root/build}
work=$(mktemp -d)
trap 'kill $vcam $ffmpeg $witness 2>/dev/null || true; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
if [[ "$mode" == depth ]]; then
    mkdir -p "$XDG_CONFIG_HOME/Parallax3D"
    printf '[General]\ncomfortBar=1\nautoConvergence=1\n' >"$XDG_CONFIG_HOME/Parallax3D/Parallax3D.conf"
fi

env -u DISPLAY -u WAYLAND_DISPLAY "$build/bin/parallax3d" --test-cameras --broadcast \
    --size "${SIZE:-640x480}" --monitor "$mode" --quit-after "$seconds" \
    ${RECORD:+--record "$RECORD"} 2>"$work/app.err" &
app=$!
sleep 3
# The readers write what they show into FIFOs the witness reads, beside the channel itself.
mkfifo "$work/vcam.argb" "$work/ffmpeg.rgba"
"$build/tests/helpers/frame_witness" $((seconds - 2)) "$work/vcam.argb:argb" \
    "$work/ffmpeg.rgba:rgba" >"$work/witness.out" 2>&1 &
witness=$!
# At 640 x 480 whatever the broadcast's size: the witness holds the classic picture's frames.
"$build/bin/parallax3d-vcam" --output "$work/vcam.argb" --format argb --size 640x480 \
    2>"$work/vcam.err" &
vcam=$!
FREI0R_PATH=$build/lib/frei0r-1 ffmpeg -nostdin -loglevel error -re -f lavfi \
    -i "frei0r_src=size=640x480:framerate=30:filter_name=CIParallax3DInput:filter_params=0" \
    -f rawvideo -pix_fmt rgba -y "$work/ffmpeg.rgba" 2>"$work/ffmpeg.err" &
ffmpeg=$!

rss() { awk '/VmRSS/ { print $2 }' "/proc/$app/status"; }
fds() { ls "/proc/$app/fd" | wc -l; }
sleep 57
rss_1min=$(rss)
fds_1min=$(fds)
sleep $((seconds - 65))
rss_end=$(rss)
fds_end=$(fds)
wait $app
frames=$(grep -o "[0-9]* ticks, [0-9]* frames broadcast, [0-9]* dropped" "$work/app.err" || echo "no summary")
echo "soak size=${SIZE:-640x480} seconds=$seconds rss_1min_kb=$rss_1min rss_end_kb=$rss_end growth_kb=$((rss_end - rss_1min))" \
     "fds_1min=$fds_1min fds_end=$fds_end $frames"
for reader in vcam ffmpeg; do
    pid=${!reader}
    kill -0 "$pid" 2>/dev/null || echo "soak: $reader ended early: $(tail -2 "$work/$reader.err")"
done
sleep 1
kill $vcam $ffmpeg 2>/dev/null || true
wait $witness || true
tail -1 "$work/witness.out"
ticks=$(grep -o "[0-9]* ticks," "$work/app.err" | grep -o "[0-9]*" || echo 0)
published=$(grep -o "published_per_s=[0-9.]*" "$work/witness.out" || echo "published_per_s=none")
echo "soak: ticks_per_s=$(python3 -c "print(round($ticks / $seconds, 2))") $published"
if [[ "$mode" == depth ]]; then
    grep -o "depth maps at the end: [0-9.]* a second" "$work/app.err" || echo "no depth maps told"
fi
if [[ -n "${RECORD:-}" ]]; then
    grep -E "parallax3d: (recorded|the recording ended)" "$work/app.err" || echo "soak: nothing recorded"
fi
