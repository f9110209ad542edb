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
#include "TestPatternEyes.h"
#include "V4L2System.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

void BM_GrabViewTick640x480(benchmark::State& state)
{
    bench::OffscreenApplication();
    const std::vector<uint8_t> jpeg = bench::TestPatternEyeJPEG(0);
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
    const std::vector<uint8_t> jpeg = bench::TestPatternEyeJPEG(0);
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
    bench::OffscreenApplication();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
