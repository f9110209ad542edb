// The image engine at 640 x 480: the stereo mux filter rendered through a context, and the
// camera chain (white point, exposure, colour controls, mirror, crop).
#include <benchmark/benchmark.h>
#include <vector>

#include "BenchEyes.h"
#include "CFNumber.h"
#include "CIContext.h"
#include "CIORBStereoMuxFilter.h"

namespace {

using bench::kEyeHeight;
using bench::SeededEye;
constexpr size_t kWidth = bench::kEyeWidth, kHeight = kEyeHeight, kRowBytes = bench::kEyeRowBytes;

void SetNumber(CIFilter* filter, CFStringRef key, double value)
{
    CFNumberRef number = CFNumberCreate(nullptr, kCFNumberDoubleType, &value);
    filter->setValue(number, key);
    CFRelease(number);
}

void BM_StereoMuxFilter640x480(benchmark::State& state)
{
    import_CIORBStereoMuxFilter(true);
    const std::vector<UInt8> right = SeededEye(1), left = SeededEye(2);
    std::vector<UInt8> out(kRowBytes * kHeight);
    CFPtr<CIContext> context =
        CIContext::contextWithARGBMemory(out.data(), kRowBytes, kWidth, kHeight);
    CFPtr<CIFilter> mux = CIFilter::filterWithName(kCIORBStereoMuxFilter_FilterName);
    mux->setDefaults();
    for (auto _ : state) {
        // Per frame as the stereo view does it: new eye images, the filter's output, a render.
        CFPtr<CIImage> r = CIImage::imageWithARGBMemory(right.data(), kRowBytes, kWidth, kHeight);
        CFPtr<CIImage> l = CIImage::imageWithARGBMemory(left.data(), kRowBytes, kWidth, kHeight);
        mux->setValue(r.get(), kCIInputImageKey);
        mux->setValue(l.get(), kCIORBStereoMuxFilter_inputLeftImage);
        CFPtr<CIImage> stereo = mux->outputImage();
        context->drawImage(stereo.get(), CGPointMake(0, 0), stereo->extent());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_StereoMuxFilter640x480)->Unit(benchmark::kMicrosecond);

void BM_CameraChain640x480(benchmark::State& state)
{
    const std::vector<UInt8> frame = SeededEye(3);
    std::vector<UInt8> out(kRowBytes * kHeight);
    CFPtr<CIContext> context =
        CIContext::contextWithARGBMemory(out.data(), kRowBytes, kWidth, kHeight);
    CFPtr<CIFilter> whitePoint = CIFilter::filterWithName(CFSTR("CIWhitePointAdjust"));
    CFPtr<CIFilter> exposure = CIFilter::filterWithName(CFSTR("CIExposureAdjust"));
    CFPtr<CIFilter> color = CIFilter::filterWithName(CFSTR("CIColorControls"));
    CFPtr<CIFilter> crop = CIFilter::filterWithName(CFSTR("CICrop"));
    for (CIFilter* filter : {whitePoint.get(), exposure.get(), color.get(), crop.get()})
        filter->setDefaults();
    whitePoint->setValue(CIColor::colorWithRed(0.9, 1.0, 0.95).get(), CFSTR("inputColor"));
    SetNumber(exposure.get(), CFSTR("inputEV"), 0.3);
    SetNumber(color.get(), CFSTR("inputSaturation"), 1.2);
    SetNumber(color.get(), CFSTR("inputBrightness"), 0.05);
    SetNumber(color.get(), CFSTR("inputContrast"), 1.1);
    crop->setValue(CIVector::vectorWithX(0, 0, 640, 480).get(), CFSTR("inputRectangle"));
    const CGAffineTransform mirror = CGAffineTransformScale(
        CGAffineTransformTranslate(CGAffineTransformIdentity, 640, 0), -1, 1);
    for (auto _ : state) {
        CFPtr<CIImage> image =
            CIImage::imageWithARGBMemory(frame.data(), kRowBytes, kWidth, kHeight);
        whitePoint->setValue(image.get(), kCIInputImageKey);
        image = whitePoint->outputImage();
        exposure->setValue(image.get(), kCIInputImageKey);
        image = exposure->outputImage();
        color->setValue(image.get(), kCIInputImageKey);
        image = color->outputImage()->imageByApplyingTransform(mirror);
        crop->setValue(image.get(), kCIInputImageKey);
        image = crop->outputImage();
        context->drawImage(image.get(), CGPointMake(0, 0), image->extent());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_CameraChain640x480)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
