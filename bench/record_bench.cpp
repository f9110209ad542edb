// A recording of both eyes side by side, 1280 x 480, 300 frames of the test scene with camera
// noise: our writer (the Recorder's thread's work: A,R,G,B to 4:2:0, libx264, Matroska) beside
// the ffmpeg command line encoding the same raw frames with the same encoder settings and thread
// count, both into a file on tmpfs. Wall time of the whole recording, ffmpeg's start-up included;
// the "Frames" pairs subtract a one-frame recording, which leaves the frames' own cost.
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "MediaWriter.h"
#include "RecordDestination.h"
#include "TestPatternScene.h"
#include "VideoEncoder.h"

extern char** environ;

namespace {

constexpr int kFrames = 300;
constexpr int kEyeWidth = 640, kEyeHeight = 480, kFramesPerSecond = 30;
constexpr int kWidth = 2 * kEyeWidth;
constexpr size_t kRowBytes = size_t(kWidth) * 4, kFrameBytes = kRowBytes * kEyeHeight;

using Clock = std::chrono::steady_clock;

// The frames, written once into a raw A,R,G,B file on tmpfs and mapped: ffmpeg reads the file,
// we read the same pages.
class RawFrames
{
public:
    RawFrames()
    {
        const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string folder = std::string(base) + "/parallax3d-record-bench.XXXXXX";
        if (!mkdtemp(folder.data()))
            return;
        mFolder = folder;
        const std::string path = RawPath();
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd == -1)
            return;
        if (ftruncate(fd, off_t(kFrameBytes) * kFrames) == 0) {
            void* map =
                mmap(nullptr, kFrameBytes * kFrames, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
            if (map != MAP_FAILED) {
                mPixels = static_cast<uint8_t*>(map);
                Fill();
            }
        }
        close(fd);
    }
    ~RawFrames()
    {
        if (mPixels)
            munmap(mPixels, kFrameBytes * kFrames);
        if (!mFolder.empty()) {
            unlink(RawPath().c_str());
            unlink(OutputPath().c_str());
            rmdir(mFolder.c_str());
        }
    }
    RawFrames(const RawFrames&) = delete;
    RawFrames& operator=(const RawFrames&) = delete;

    bool Ready() const { return mPixels != nullptr; }
    ArgbView Frame(int in_index) const
    {
        return {mPixels + kFrameBytes * size_t(in_index), kRowBytes, kWidth, kEyeHeight};
    }
    std::string RawPath() const { return mFolder + "/frames.argb"; }
    std::string OutputPath() const { return mFolder + "/out.mkv"; }

private:
    // The scene's two eyes, each pixel with a little noise of its own, as a camera's sensor has:
    // flat synthetic colour would leave the encoder little to do.
    void Fill()
    {
        TestPatternScene scene;
        std::vector<uint8_t> rgb(size_t(kEyeWidth) * kEyeHeight * 3);
        uint64_t random = 0x9E3779B97F4A7C15u;
        for (int frame = 0; frame < kFrames; ++frame) {
            for (int eye = 0; eye < 2; ++eye) {
                scene.Render(uint64_t(frame), TestPatternScene::Eye(eye), kEyeWidth, kEyeHeight,
                             rgb.data(), size_t(kEyeWidth) * 3);
                for (int y = 0; y < kEyeHeight; ++y) {
                    uint8_t* row = mPixels + kFrameBytes * size_t(frame) + kRowBytes * size_t(y) +
                                   size_t(eye) * kEyeWidth * 4;
                    const uint8_t* from = &rgb[size_t(y) * kEyeWidth * 3];
                    for (int x = 0; x < kEyeWidth; ++x) {
                        random ^= random << 13;
                        random ^= random >> 7;
                        random ^= random << 17;
                        row[x * 4] = 255;
                        for (int c = 0; c < 3; ++c) {
                            // -4..+4 around the scene's colour
                            const int noise = int((random >> (8 * c)) % 9) - 4;
                            row[x * 4 + 1 + c] =
                                uint8_t(std::clamp(from[x * 3 + c] + noise, 0, 255));
                        }
                    }
                }
            }
        }
    }

    std::string mFolder;
    uint8_t* mPixels = nullptr;
};

const RawFrames& Frames()
{
    static const RawFrames frames;
    return frames;
}

double CpuSeconds()
{
    timespec now = {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

double Seconds(const timeval& in_time)
{
    return double(in_time.tv_sec) + double(in_time.tv_usec) * 1e-6;
}

struct Run
{
    bool ok = false;
    double seconds = 0;    // wall
    double cpuSeconds = 0; // all threads
};

// Ours: the writer the Recorder's thread drives, opened, fed in_frames and closed.
Run RecordOurs(int in_threads, int in_frames)
{
    const RawFrames& frames = Frames();
    RecordSettings settings;
    settings.layout = RecordLayout::SideBySide;
    settings.width = kEyeWidth;
    settings.height = kEyeHeight;
    settings.framesPerSecond = kFramesPerSecond;
    settings.threads = in_threads;
    RecordDestination destination;
    std::string message;
    if (!ParseRecordDestination(frames.OutputPath(), settings.layout, destination, message))
        return {};
    const double cpuStart = CpuSeconds();
    const Clock::time_point start = Clock::now();
    bool ok;
    {
        MediaWriter writer;
        ok = writer.Open(destination, settings, message);
        for (int i = 0; ok && i < in_frames; ++i)
            ok = writer.Write(frames.Frame(i), uint64_t(i) * 1000000000u / kFramesPerSecond,
                              message);
        ok = writer.Close(message) && ok;
    }
    const std::chrono::duration<double> wall = Clock::now() - start;
    if (!ok)
        fprintf(stderr, "record_bench: %s\n", message.c_str());
    return {ok, wall.count(), CpuSeconds() - cpuStart};
}

// The peer: ffmpeg from its start to its exit, every thread it has held to in_threads.
Run RecordFfmpeg(int in_threads, int in_frames)
{
    const RawFrames& frames = Frames();
    const std::string threads = std::to_string(in_threads);
    // A,R,G,B bytes are ffmpeg's argb; option and value side by side.
    // clang-format off
    std::vector<std::string> words = {
        "ffmpeg", "-nostdin", "-loglevel", "error",
        "-filter_threads", threads, "-threads", threads,
        "-f", "rawvideo", "-pix_fmt", "argb",
        "-video_size", std::to_string(kWidth) + "x" + std::to_string(kEyeHeight),
        "-framerate", std::to_string(kFramesPerSecond),
        "-i", frames.RawPath(), "-frames:v", std::to_string(in_frames),
        "-c:v", "libx264", "-preset", VideoEncoder::kH264Preset, "-tune", VideoEncoder::kH264Tune,
        "-crf", std::to_string(VideoEncoder::kH264Crf),
        "-g", std::to_string(VideoEncoder::kKeyFrameSeconds * kFramesPerSecond), "-bf", "0",
        "-threads", threads,
        "-pix_fmt", "yuv420p", "-color_range", "tv", "-colorspace", "smpte170m",
        "-metadata:s:v:0", "stereo_mode=left_right", "-y", frames.OutputPath()};
    // clang-format on
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    const Clock::time_point start = Clock::now();
    pid_t child = 0;
    if (posix_spawnp(&child, "ffmpeg", nullptr, nullptr, argv.data(), environ) != 0)
        return {};
    int status = 0;
    rusage usage = {};
    if (wait4(child, &status, 0, &usage) != child)
        return {};
    const std::chrono::duration<double> wall = Clock::now() - start;
    return {WIFEXITED(status) && WEXITSTATUS(status) == 0, wall.count(),
            Seconds(usage.ru_utime) + Seconds(usage.ru_stime)};
}

using Recording = Run (*)(int, int);

// One recording of all frames an iteration; with in_lessOneFrame, less one of a single frame.
void Record(benchmark::State& state, Recording in_record, int in_threads, bool in_lessOneFrame)
{
    if (!Frames().Ready())
        return state.SkipWithError("no frames on tmpfs");
    double cpuSeconds = 0;
    for (auto _ : state) {
        const Run one = in_lessOneFrame ? in_record(in_threads, 1) : Run{true};
        if (!one.ok)
            return state.SkipWithError("the one-frame recording failed");
        const Run all = in_record(in_threads, kFrames);
        if (!all.ok)
            return state.SkipWithError("the recording failed");
        state.SetIterationTime(all.seconds - one.seconds);
        cpuSeconds += all.cpuSeconds - one.cpuSeconds;
    }
    state.counters["cpu_ms"] =
        benchmark::Counter(1000 * cpuSeconds, benchmark::Counter::kAvgIterations);
}

void BM_Record1280x480(benchmark::State& state)
{
    Record(state, RecordOurs, 2, false);
}
void BM_FfmpegRecord1280x480(benchmark::State& state)
{
    Record(state, RecordFfmpeg, 2, false);
}
void BM_Record1280x480OneThread(benchmark::State& state)
{
    Record(state, RecordOurs, 1, false);
}
void BM_FfmpegRecord1280x480OneThread(benchmark::State& state)
{
    Record(state, RecordFfmpeg, 1, false);
}
void BM_RecordFrames1280x480(benchmark::State& state)
{
    Record(state, RecordOurs, 2, true);
}
void BM_FfmpegRecordFrames1280x480(benchmark::State& state)
{
    Record(state, RecordFfmpeg, 2, true);
}
void BM_RecordFrames1280x480OneThread(benchmark::State& state)
{
    Record(state, RecordOurs, 1, true);
}
void BM_FfmpegRecordFrames1280x480OneThread(benchmark::State& state)
{
    Record(state, RecordFfmpeg, 1, true);
}

#define P3D_RECORD_BENCHMARK(name)                                                                 \
    BENCHMARK(name)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond)
P3D_RECORD_BENCHMARK(BM_Record1280x480);
P3D_RECORD_BENCHMARK(BM_FfmpegRecord1280x480);
P3D_RECORD_BENCHMARK(BM_Record1280x480OneThread);
P3D_RECORD_BENCHMARK(BM_FfmpegRecord1280x480OneThread);
P3D_RECORD_BENCHMARK(BM_RecordFrames1280x480);
P3D_RECORD_BENCHMARK(BM_FfmpegRecordFrames1280x480);
P3D_RECORD_BENCHMARK(BM_RecordFrames1280x480OneThread);
P3D_RECORD_BENCHMARK(BM_FfmpegRecordFrames1280x480OneThread);

} // namespace
// Ours and ffmpeg's runs alternate in random order, so that the load of a shared machine falls on
// both alike; the command line can still say otherwise.
int main(int argc, char** argv)
{
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    std::vector<char*> arguments(argv, argv + argc);
    arguments.insert(arguments.begin() + 1, interleave);
    int count = int(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data()))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
