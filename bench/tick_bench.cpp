// One whole tick of the application (two MJPEG eyes decoded, the mux, the two eye views and the
// stereo view painted, the broadcast rendered into the channel) in CPU time per frame, at
// 640 x 480 and at 1280 x 720, beside ffmpeg doing the same job on the same two MJPEG streams from
// its command line (one thread, decode both, hstack, stereo3d=sbsl:arcd, raw frames to null). And
// the latency from a frame's arrival at the grabber to its publication in the channel.
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QImage>
#include <QTimer>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <linux/videodev2.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "AppController.h"
#include "ChannelFrames.h"
#include "ChannelNamespace.h"
#include "ComfortCheck.h"
#include "CoreMachDebugLog.h"
#include "FakeV4L2.h"
#include "P3DBroadcastControl.h"
#include "P3DDocument.h"
#include "P3DDocumentWindow.h"
#include "P3DStereoView.h"
#include "QCamGrabCGImageView.h"
#include "StereoCalibration.h"
#include "StereoMonitor.h"
#include "TestPatternEyes.h"
#include "V4L2System.h"

namespace {

constexpr int kFramesPerRun = 300;

double CpuSeconds(clockid_t clock = CLOCK_PROCESS_CPUTIME_ID)
{
    timespec now = {};
    clock_gettime(clock, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// The application's document over two in-memory MJPEG webcams, broadcasting into a channel of
// the run's own, at the size asked.
struct Application2Eyes
{
    explicit Application2Eyes(uint32_t fourcc = V4L2_PIX_FMT_MJPEG, QSize size = QSize(640, 480))
    {
        char home[] = "/tmp/parallax3d-bench.XXXXXX";
        if (mkdtemp(home))
            root = home;
        setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
        for (const char* name : {"Left Cam", "Right Cam"}) {
            FakeV4L2Device& device = fake.AddDevice();
            device.card = name;
            device.busInfo = name;
            device.formats = {fourcc};
            device.sizes = {{uint32_t(size.width()), uint32_t(size.height())}};
            cameras.push_back(&device);
        }
        controller = std::make_unique<AppController>();
        controller->newDocument(nullptr);
        document = controller->document();
        document->setBroadcastSize(size);
        document->timer()->stop();
        document->window()->broadcastControl()->setBroadcastEnabled(true);
        screen = QImage(document->window()->size(), QImage::Format_ARGB32_Premultiplied);
        screen.fill(Qt::black);
    }
    ~Application2Eyes()
    {
        document->window()->close();
        controller.reset();
        [[maybe_unused]] const int removed = system(("rm -rf '" + root + "'").c_str());
    }
    // A tick as the window runs it: the timer's work, then the paint it asked for, of the views
    // it marked for redrawing (the rest of the window is not painted again).
    void tick()
    {
        document->masterTimeClock();
        P3DDocumentWindow& window = *document->window();
        for (QWidget* view : std::initializer_list<QWidget*>{
                 window.leftEyeView(), window.rightEyeView(), window.stereoView()})
            view->render(&screen, view->mapTo(&window, QPoint(0, 0)));
    }

    std::string root;
    FakeV4L2 fake;
    ScopedV4L2System scope{fake};
    std::vector<FakeV4L2Device*> cameras;
    std::unique_ptr<AppController> controller;
    P3DDocument* document = nullptr;
    QImage screen;
};

// What a tick does beyond decoding, muxing, painting and broadcasting: both eyes moved and the
// right eye's colour matched, both eyes rectified with a calibration of a faulty rig, or the depth
// monitor shown with the comfort bar and automatic convergence (the matching on its worker).
enum class Extra { kNone, kAdjusted, kRectified, kDepth };

// Ticks over the test pattern's two MJPEG eyes, with the extra work.
void RunTicks(benchmark::State& state, Extra extra, QSize size = QSize(640, 480))
{
    if (!p3dtest::InPrivateChannelNamespace())
        return state.SkipWithError(p3dtest::PrivateChannelNamespaceError().c_str());
    bench::OffscreenApplication();
    const auto eye = [size](int eye) {
        return bench::TestPatternEyeJPEG(eye, uint32_t(size.width()), uint32_t(size.height()));
    };
    const std::vector<uint8_t> left = eye(0), right = eye(1);
    Application2Eyes app(V4L2_PIX_FMT_MJPEG, size);
    if (extra == Extra::kRectified) {
        StereoCalibration rig;
        std::string reason;
        if (!StereoCalibration::Load(RIG_CALIBRATION, rig, reason))
            return state.SkipWithError(reason.c_str());
        app.document->useCalibration(rig);
        // The maps are made at the first frame, once: not part of the steady tick.
        app.cameras[0]->PushFrame(left);
        app.cameras[1]->PushFrame(right);
        app.tick();
        if (!app.document->monitor()->eyesRectified())
            return state.SkipWithError("the eyes are not rectified");
    }
    if (extra == Extra::kAdjusted) {
        P3DStereoView* view = app.document->window()->stereoView();
        view->setEyeOffset(P3DStereoView::kLeftEye, {-2, 1});
        view->setEyeOffset(P3DStereoView::kRightEye, {5, -3});
        view->setColorMatching(true);
    }
    if (extra == Extra::kDepth) {
        P3DDocumentWindow& window = *app.document->window();
        window.monitorTypeGroup()->actions()[StereoMonitor::kMonitorImageType_Depth - 1]->trigger();
        window.comfortBarAction()->setChecked(true);
        window.autoConvergenceAction()->setChecked(true);
        // The first map, and the worker's buffers, before the steady ticks.
        for (int i = 0; i < 3000 && !app.document->comfort().reading().measured; ++i) {
            app.cameras[0]->PushFrame(left);
            app.cameras[1]->PushFrame(right);
            app.tick();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (!app.document->comfort().reading().measured)
            return state.SkipWithError("no depth map came");
    }
    // The matching runs on the depth worker's thread: the tick's cost is the main thread's.
    const clockid_t clock =
        extra == Extra::kDepth ? CLOCK_THREAD_CPUTIME_ID : CLOCK_PROCESS_CPUTIME_ID;
    for (auto _ : state) {
        const double start = CpuSeconds(clock);
        for (int i = 0; i < kFramesPerRun; ++i) {
            app.cameras[0]->PushFrame(left);
            app.cameras[1]->PushFrame(right);
            app.tick();
        }
        state.SetIterationTime((CpuSeconds(clock) - start) / kFramesPerRun);
    }
    if (app.document->window()->broadcastControl()->writer().framesPublished() == 0)
        state.SkipWithError("nothing was broadcast");
    if (app.document->monitor()->width() != size_t(size.width()))
        state.SkipWithError("the monitor is not at the size asked");
}

void BM_ApplicationTick2xMJPEG640x480(benchmark::State& state)
{
    RunTicks(state, Extra::kNone);
}
BENCHMARK(BM_ApplicationTick2xMJPEG640x480)
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

void BM_ApplicationTick2xMJPEG1280x720(benchmark::State& state)
{
    RunTicks(state, Extra::kNone, QSize(1280, 720));
}
BENCHMARK(BM_ApplicationTick2xMJPEG1280x720)
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

void BM_ApplicationTickEyesAlignedAndMatched(benchmark::State& state)
{
    RunTicks(state, Extra::kAdjusted);
}
BENCHMARK(BM_ApplicationTickEyesAlignedAndMatched)
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

void BM_ApplicationTickRectified2xMJPEG640x480(benchmark::State& state)
{
    RunTicks(state, Extra::kRectified);
}
BENCHMARK(BM_ApplicationTickRectified2xMJPEG640x480)
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

void BM_ApplicationTickDepthMonitor2xMJPEG640x480(benchmark::State& state)
{
    RunTicks(state, Extra::kDepth);
}
BENCHMARK(BM_ApplicationTickDepthMonitor2xMJPEG640x480)
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

void FfmpegStereoOfTwoMJPEGStreams(benchmark::State& state, uint32_t width, uint32_t height)
{
    char folder[] = "/tmp/parallax3d-bench.XXXXXX";
    if (!mkdtemp(folder))
        return state.SkipWithError("no temporary folder");
    const std::string dir = folder;
    for (int eye = 0; eye < 2; ++eye) {
        const std::vector<uint8_t> jpeg = bench::TestPatternEyeJPEG(eye, width, height);
        FILE* file = fopen((dir + "/eye" + std::to_string(eye) + ".mjpeg").c_str(), "wb");
        for (int i = 0; file && i < kFramesPerRun; ++i)
            fwrite(jpeg.data(), 1, jpeg.size(), file);
        if (file)
            fclose(file);
    }
    const std::string command =
        "ffmpeg -nostdin -loglevel error -threads 1 -f mjpeg -i '" + dir +
        "/eye0.mjpeg' -threads 1 -f mjpeg -i '" + dir +
        "/eye1.mjpeg' -filter_complex_threads 1 -filter_threads 1 -filter_complex "
        "'[0][1]hstack,format=rgb24,stereo3d=sbsl:arcd' -f rawvideo -y /dev/null";
    for (auto _ : state) {
        rusage before = {}, after = {};
        getrusage(RUSAGE_CHILDREN, &before);
        if (system(command.c_str()) != 0)
            return state.SkipWithError("ffmpeg failed");
        getrusage(RUSAGE_CHILDREN, &after);
        const auto seconds = [](const rusage& r) {
            return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
                   double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) * 1e-6;
        };
        state.SetIterationTime((seconds(after) - seconds(before)) / kFramesPerRun);
    }
    [[maybe_unused]] const int removed = system(("rm -rf '" + dir + "'").c_str());
}

void BM_FfmpegStereoOfTwoMJPEGStreams640x480(benchmark::State& state)
{
    FfmpegStereoOfTwoMJPEGStreams(state, 640, 480);
}
BENCHMARK(BM_FfmpegStereoOfTwoMJPEGStreams640x480)
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

void BM_FfmpegStereoOfTwoMJPEGStreams1280x720(benchmark::State& state)
{
    FfmpegStereoOfTwoMJPEGStreams(state, 1280, 720);
}
BENCHMARK(BM_FfmpegStereoOfTwoMJPEGStreams1280x720)
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

// Frames arrive at 30 a second, out of phase with the ticks; each carries its number in its grey
// level. The latency of a frame is the time from its arrival to the tick that publishes it.
void BM_LatencyArrivalToPublication(benchmark::State& state)
{
    if (!p3dtest::InPrivateChannelNamespace())
        return state.SkipWithError(p3dtest::PrivateChannelNamespaceError().c_str());
    bench::OffscreenApplication();
    Application2Eyes app(V4L2_PIX_FMT_YUYV);
    app.document->setMonitorImageType(1); // the left eye: its grey comes through unchanged
    p3dtest::ComponentExports exports;
    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::microseconds(33333);
    std::vector<double> latencies;
    for (auto _ : state) {
        std::vector<Clock::time_point> arrived;
        const Clock::time_point start = Clock::now();
        Clock::time_point nextFrame = start, nextTick = start + period / 2;
        int lastSeen = -1;
        const Clock::time_point giveUp = start + std::chrono::seconds(60);
        while (latencies.size() < size_t(kFramesPerRun) && Clock::now() < giveUp) {
            if (nextFrame <= nextTick) {
                std::this_thread::sleep_until(nextFrame);
                const int number = int(arrived.size());
                std::vector<uint8_t> yuyv(640 * 480 * 2, 128);
                for (size_t i = 0; i < yuyv.size(); i += 2)
                    yuyv[i] = uint8_t(16 + (number % 100) * 2);
                app.cameras[0]->PushFrame(yuyv);
                arrived.push_back(Clock::now());
                nextFrame += period;
                continue;
            }
            std::this_thread::sleep_until(nextTick);
            app.tick();
            nextTick += period;
            SHARED_CAMERA_BUFFER record = p3dtest::ComponentExports::Record();
            if (!exports.GetCurrentReadBuffer(&record) || !record.frameBufferPtr)
                continue;
            // Luma 16 + 2k comes back as grey (2k) * 255 / 219.
            const int grey = static_cast<const UInt8*>(record.frameBufferPtr)[4 * 1000 + 1];
            const int level = int(std::lround(grey * 219.0 / 255.0 / 2.0));
            // The newest frame whose number has that level.
            int number = int(arrived.size()) - 1;
            while (number >= 0 && number % 100 != level)
                --number;
            if (number < 0 || number == lastSeen)
                continue;
            lastSeen = number;
            latencies.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - arrived[size_t(number)])
                    .count());
        }
    }
    if (latencies.size() < 10)
        return state.SkipWithError("the published frames could not be told apart");
    std::sort(latencies.begin(), latencies.end());
    const double tickMs = 1000.0 / 30.0;
    state.counters["median_ms"] = latencies[latencies.size() / 2];
    state.counters["p99_ms"] = latencies[latencies.size() * 99 / 100];
    state.counters["p99_ticks"] = latencies[latencies.size() * 99 / 100] / tickMs;
}
BENCHMARK(BM_LatencyArrivalToPublication)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    CoreMachDebugLogSetUseLogger(kCoreLogOutputASL);
    bench::OffscreenApplication();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
