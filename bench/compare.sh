#!/usr/bin/env bash
# bench/compare.sh [NAME...]: builds the benchmarks, runs each of ours beside its peer on the
# same work in the same run, and prints one line per comparison (medians, ratio = ours / peer):
#   NAME ours_ms=... peer_ms=... ratio=...
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD:-$root/build-bench}
repetitions=${BENCH_REPETITIONS:-15}

# name  ours  peer
comparisons=(
    "channel_publish BM_ChannelPublishFrame BM_MemcpyFrameInto"
    "channel_read BM_ChannelReadFrame BM_MemcpyFrameOut"
    "stereo_mux BM_StereoMux640x480 BM_FfmpegStereo3d640x480"
    "stereo_mux_filter BM_StereoMuxFilter640x480 BM_FfmpegStereo3d640x480"
    "encoding_arcd BM_Encoding_arcd BM_FfmpegEncoding_arcd"
    "encoding_arch BM_Encoding_arch BM_FfmpegEncoding_arch"
    "encoding_arcg BM_Encoding_arcg BM_FfmpegEncoding_arcg"
    "encoding_arcc BM_Encoding_arcc BM_FfmpegEncoding_arcc"
    "encoding_argg BM_Encoding_argg BM_FfmpegEncoding_argg"
    "encoding_agmd BM_Encoding_agmd BM_FfmpegEncoding_agmd"
    "encoding_aybd BM_Encoding_aybd BM_FfmpegEncoding_aybd"
    "coreg_scaled_draw BM_DrawScaled1280x720To640x480 BM_LibyuvScale1280x720To640x480"
    "camera_mirror BM_MirrorResample640x480 BM_LibyuvRotate180_640x480"
    "capture_mjpeg BM_DecompressMJPEG640x480 BM_FfmpegDecodeMJPEG640x480"
    "vcam_frame BM_VCamDigitizerFrame640x480 BM_LibyuvARGBToYUY2_640x480"
    "vcam_convert BM_VCamConvertYUYV640x480 BM_LibyuvARGBToYUY2_640x480"
    "vcam_convert_rgba BM_VCamConvertRGBA640x480 BM_LibyuvARGBToRGBA640x480"
    "vcam_i420 BM_VCamConvertI420_1280x720 BM_LibyuvARGBToI420_1280x720"
    "vcam_frame_hd BM_VCamStampedFrameI420_1280x720 BM_LibyuvARGBToI420_1280x720"
    "pipewire_frame BM_PipeWireFrameI420_1280x720 BM_LibyuvARGBToI420AfterIdle_1280x720"
    "pipewire_frame_vs_busy BM_PipeWireFrameI420_1280x720 BM_LibyuvARGBToI420_1280x720"
    "frei0r_update BM_Frei0rUpdateLive640x480 BM_LibyuvShuffleToRGBA640x480"
    "q2vuy_to_argb BM_Q2vuyToARGB640x480 BM_LibyuvUYVYToARGB640x480"
    "broadcast BM_BroadcastDrawFrame640x480 BM_StereoRecipeToPrivateMemory640x480"
    "grab_view BM_GrabViewTick640x480 BM_LibyuvMJPGToARGBAndBGRA640x480"
    "tick BM_ApplicationTick2xMJPEG640x480 BM_FfmpegStereoOfTwoMJPEGStreams640x480"
    "tick_hd BM_ApplicationTick2xMJPEG1280x720 BM_FfmpegStereoOfTwoMJPEGStreams1280x720"
    "eyes_adjusted BM_ApplicationTickEyesAlignedAndMatched BM_ApplicationTick2xMJPEG640x480"
    "controls BM_CameraControls640x480 BM_FfmpegEqFlip640x480"
    "controls_identity BM_CameraControlsIdentity640x480 BM_MemcpyFrame640x480"
    "rectify BM_Rectify640x480 BM_OpenCVRemap640x480"
    "tick_rectified BM_ApplicationTickRectified2xMJPEG640x480 BM_ApplicationTick2xMJPEG640x480"
    "depth BM_DepthMap640x480 BM_OpenCVSGBMHalf640x480"
    "tick_depth BM_ApplicationTickDepthMonitor2xMJPEG640x480 BM_ApplicationTick2xMJPEG640x480"
    "record BM_Record1280x480 BM_FfmpegRecord1280x480"
    "record_1thread BM_Record1280x480OneThread BM_FfmpegRecord1280x480OneThread"
    "record_frames BM_RecordFrames1280x480 BM_FfmpegRecordFrames1280x480"
    "record_frames_1thread BM_RecordFrames1280x480OneThread BM_FfmpegRecordFrames1280x480OneThread"
)
# Every executable that holds a benchmark named above.
benches=(bench_channel bench_stereo bench_coreg bench_filters bench_engine bench_capture bench_vcam bench_dezaze bench_cicameragen bench_broadcast bench_grab_view bench_tick bench_controls bench_rectify bench_depth bench_record)

# Every name asked for must be a comparison: a typo would otherwise run nothing, or everything.
known=" "
for comparison in "${comparisons[@]}"; do
    known+="${comparison%% *} "
done
for name in "$@"; do
    if [[ "$known" != *" $name "* ]]; then
        echo "compare.sh: no comparison named \"$name\"; the comparisons are:$known" >&2
        exit 2
    fi
done

# The program whose sources register benchmark $1 (nothing when it cannot be told).
program_of() {
    local source
    source=$(grep -lF "BENCHMARK($1)" "$root"/bench/*.cpp | head -n1) || return 0
    [[ -n "$source" ]] || return 0
    sed -nE "s/^p3d_add_bench\(([A-Za-z0-9_]+) .*\<$(basename "$source")\>.*/\1/p" \
        "$root/bench/CMakeLists.txt" | head -n1
}

# Named comparisons build and run only their own programs; one that cannot be placed keeps all.
if (($#)); then
    picked=()
    for comparison in "${comparisons[@]}"; do
        read -r name ours peer <<<"$comparison"
        [[ " $* " == *" $name "* ]] || continue
        for benchmark in "$ours" "$peer"; do
            program=$(program_of "$benchmark")
            if [[ -z "$program" ]]; then
                picked=("${benches[@]}")
                break 2
            fi
            [[ " ${picked[*]} " == *" $program "* ]] || picked+=("$program")
        done
    done
    benches=("${picked[@]}")
fi

"$root/scripts/install-deps.sh" >&2
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >&2
cmake --build "$build" --target "${benches[@]}" >&2

# Only the benchmarks of the comparisons asked for run (all of them without names).
filter=""
for comparison in "${comparisons[@]}"; do
    read -r name ours peer <<<"$comparison"
    if (($#)) && [[ ! " $* " =~ " $name " ]]; then
        continue
    fi
    filter+="${filter:+|}^$ours(/.*)?\$|^$peer(/.*)?\$"
done

json=$(mktemp -d)
trap 'rm -rf "$json"' EXIT
for bench in "${benches[@]}"; do
    "$build/bench/$bench" --benchmark_repetitions="$repetitions" --benchmark_filter="$filter" \
        --benchmark_report_aggregates_only=true --benchmark_format=json >"$json/$bench.json"
done

for comparison in "${comparisons[@]}"; do
    read -r name ours peer <<<"$comparison"
    if (($#)) && [[ ! " $* " =~ " $name " ]]; then
        continue
    fi
    python3 - "$json" "$name" "$ours" "$peer" <<'PY'
import glob, json, sys
path, name, ours, peer = sys.argv[1:]
medians = {}
def runs(f):
    try:
        return json.load(open(f))["benchmarks"]
    except ValueError:  # no benchmark of that program was asked for
        return []
for b in (b for f in glob.glob(path + "/*.json") for b in runs(f)):
    if b.get("aggregate_name") == "median":
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
        # "BM_X/iterations:2/manual_time" is BM_X
        medians[b["run_name"].split("/")[0]] = b["real_time"] * scale
o, p = medians[ours], medians[peer]
print(f"{name} ours_ms={o:.4f} peer_ms={p:.4f} ratio={o / p:.3f}")
PY
done
