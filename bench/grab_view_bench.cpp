// One tick of a camera view (the grabber idles on a test-pattern MJPEG frame, the view makes its
// image and paints it into a 640 x 480 widget offscreen) beside libyuv decoding the same frame
// and reordering it once for Qt.
#include <QApplication>
#include <QImage>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <libyuv.h>
#include <linux/videodev2.h>
#include <vector>

#include "FakeV4L2.h"
#include "QCamGrabCGImageView.h"
#include "TestPatternCamera.h"
#include "V4L2System.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

// Frame 3 of the test pattern's left eye, as the camera sends it.
std::vector<uint8_t> TestPatternJPEG()
{
    TestPatternCamera pattern([] { return uint64_t(1100000); });
    FakeV4L2Device device;
    pattern.Configure(device);
    device.fourcc = V4L2_PIX_FMT_MJPEG;
    device.width = kWidth;
    device.height = kHeight;
    std::vector<uint8_t> frame(kWidth * kHeight * 2);
    uint64_t timeUs = 0;
    frame.resize(pattern.FillFrame(device, frame.data(), frame.size(), &timeUs));
    return frame;
}

QApplication& Application()
{
    static int argc = 1;
    static char name[] = "bench_grab_view";
    static char* argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QApplication application(argc, argv);
    return application;
}

void BM_GrabViewTick640x480(benchmark::State& state)
{
    Application();
    const std::vector<uint8_t> jpeg = TestPatternJPEG();
    FakeV4L2 fake;
    ScopedV4L2System scope(fake);
    FakeV4L2Device& camera = fake.AddDevice();
    camera.formats = {V4L2_PIX_FMT_MJPEG};
    QCamGrabCGImageView view;
    view.resize(kWidth, kHeight);
    view.cameraOpen(QSize(kWidth, kHeight));
    QImage screen(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        camera.PushFrame(jpeg);
        view.cameraTimer(nullptr);
        view.render(&screen, QPoint(), QRegion(), QWidget::DrawWindowBackground);
        benchmark::ClobberMemory();
    }
    if (!view.cameraImageRef())
        state.SkipWithError("no frame reached the view");
}
BENCHMARK(BM_GrabViewTick640x480)->Unit(benchmark::kMicrosecond);

void BM_LibyuvMJPGToARGBAndBGRA640x480(benchmark::State& state)
{
    const std::vector<uint8_t> jpeg = TestPatternJPEG();
    std::vector<uint8_t> decoded(kWidth * kHeight * 4), shown(kWidth * kHeight * 4);
    for (auto _ : state) {
        libyuv::MJPGToARGB(jpeg.data(), jpeg.size(), decoded.data(), kWidth * 4, kWidth, kHeight,
                           kWidth, kHeight);
        libyuv::ARGBToBGRA(decoded.data(), kWidth * 4, shown.data(), kWidth * 4, kWidth, kHeight);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_LibyuvMJPGToARGBAndBGRA640x480)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    Application();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
