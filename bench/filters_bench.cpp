// The built-in filters' pixel work at 640 x 480: the colour program with all three filters on,
// the camera mirror (both axes), and the two fused row by row as the chain renders them.
// libyuv's half turn of the same frame is the peer for the mirror.
#include <benchmark/benchmark.h>
#include <cstdint>
#include <libyuv.h>
#include <vector>

#include "AffineResample.h"
#include "ColorOps.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr size_t kRowBytes = size_t(kWidth) * 4;

// Mostly opaque, with a translucent band, so both kinds of pixel are on the path.
std::vector<UInt8> Frame()
{
    std::vector<UInt8> frame(kRowBytes * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            UInt8* p = &frame[size_t(y) * kRowBytes + size_t(x) * 4];
            p[0] = y % 32 == 0 ? 128 : 255;
            p[1] = UInt8(x & p[0]);
            p[2] = UInt8(y & p[0]);
            p[3] = UInt8((x ^ y) & p[0]);
        }
    return frame;
}

CoreImage::ColorProgram AllOn()
{
    CoreImage::ColorProgram program;
    program.setWhitePoint(true, 0.95f, 0.9f, 1.05f);
    program.setExposure(true, 0.5f);
    program.setColorControls(true, 1.2f, 0.05f, 1.1f);
    return program;
}

CGAffineTransform BothMirrors()
{
    CGAffineTransform t = CGAffineTransformIdentity;
    t = CGAffineTransformScale(CGAffineTransformTranslate(t, kWidth, 0), -1, 1);
    return CGAffineTransformScale(CGAffineTransformTranslate(t, 0, kHeight), 1, -1);
}

void BM_ColorProgram640x480(benchmark::State& state)
{
    const std::vector<UInt8> source = Frame();
    std::vector<UInt8> target(source.size());
    std::vector<CoreImage::RGBAf> row(kWidth);
    const CoreImage::ColorProgram program = AllOn();
    for (auto _ : state) {
        for (int y = 0; y < kHeight; ++y) {
            CoreImage::UnpackARGB8Row(&source[y * kRowBytes], kWidth, row.data());
            program.applyRow(row.data(), kWidth);
            CoreImage::PackARGB8Row(row.data(), kWidth, &target[y * kRowBytes]);
        }
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ColorProgram640x480)->Unit(benchmark::kMillisecond);

// The camera's path: bytes to bytes with the per-channel tables.
void BM_ColorProgramBytes640x480(benchmark::State& state)
{
    const std::vector<UInt8> source = Frame();
    std::vector<UInt8> target(source.size());
    const CoreImage::ColorProgram program = AllOn();
    for (auto _ : state) {
        for (int y = 0; y < kHeight; ++y)
            program.applyARGB8Row(&source[y * kRowBytes], kWidth, &target[y * kRowBytes]);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ColorProgramBytes640x480)->Unit(benchmark::kMillisecond);

void BM_MirrorResample640x480(benchmark::State& state)
{
    const std::vector<UInt8> source = Frame();
    std::vector<UInt8> target(source.size());
    const CoreImage::SourceRows rows{source.data(), kRowBytes, {0, 0, kWidth, kHeight}};
    const CoreImage::AffineSampling mirror(BothMirrors());
    for (auto _ : state) {
        // Memory row 0 is the top, y = 479.
        for (int y = 0; y < kHeight; ++y)
            mirror.resampleRow(rows, kHeight - 1 - y, 0, kWidth, &target[y * kRowBytes]);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MirrorResample640x480)->Unit(benchmark::kMillisecond);

void BM_LibyuvRotate180_640x480(benchmark::State& state)
{
    const std::vector<UInt8> source = Frame();
    std::vector<UInt8> target(source.size());
    for (auto _ : state) {
        libyuv::ARGBRotate(source.data(), int(kRowBytes), target.data(), int(kRowBytes), kWidth,
                           kHeight, libyuv::kRotate180);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_LibyuvRotate180_640x480)->Unit(benchmark::kMillisecond);

// The chain's pixel work row by row: the mirror copies a source row into the destination row,
// and the colour program runs on it in place. The filters come before the mirror in the
// chain; per pixel they commute with an exact copy.
void BM_ColorAndMirror640x480(benchmark::State& state)
{
    const std::vector<UInt8> source = Frame();
    std::vector<UInt8> target(source.size());
    const CoreImage::SourceRows rows{source.data(), kRowBytes, {0, 0, kWidth, kHeight}};
    const CoreImage::AffineSampling mirror(BothMirrors());
    const CoreImage::ColorProgram program = AllOn();
    for (auto _ : state) {
        for (int y = 0; y < kHeight; ++y) {
            UInt8* row = &target[y * kRowBytes];
            mirror.resampleRow(rows, kHeight - 1 - y, 0, kWidth, row);
            program.applyARGB8Row(row, kWidth, row);
        }
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ColorAndMirror640x480)->Unit(benchmark::kMillisecond);

// The same through the float row, the engine's general fused path.
void BM_ColorAndMirrorFloat640x480(benchmark::State& state)
{
    const std::vector<UInt8> source = Frame();
    std::vector<UInt8> target(source.size());
    std::vector<CoreImage::RGBAf> row(kWidth);
    const CoreImage::SourceRows rows{source.data(), kRowBytes, {0, 0, kWidth, kHeight}};
    const CoreImage::AffineSampling mirror(BothMirrors());
    const CoreImage::ColorProgram program = AllOn();
    for (auto _ : state) {
        for (int y = 0; y < kHeight; ++y) {
            mirror.resampleRow(rows, kHeight - 1 - y, 0, kWidth, row.data());
            program.applyRow(row.data(), kWidth);
            CoreImage::PackARGB8Row(row.data(), kWidth, &target[y * kRowBytes]);
        }
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ColorAndMirrorFloat640x480)->Unit(benchmark::kMillisecond);

// A general transform (a slight turn) for scale: the path the chain takes for anything that
// is not a mirror or whole-pixel shift.
void BM_BilinearTurn640x480(benchmark::State& state)
{
    const std::vector<UInt8> source = Frame();
    std::vector<UInt8> target(source.size());
    const CoreImage::SourceRows rows{source.data(), kRowBytes, {0, 0, kWidth, kHeight}};
    const CoreImage::AffineSampling turn(
        CGAffineTransformMake(0.998, 0.0523, -0.0523, 0.998, 12.5, -16.25));
    for (auto _ : state) {
        for (int y = 0; y < kHeight; ++y)
            turn.resampleRow(rows, kHeight - 1 - y, 0, kWidth, &target[y * kRowBytes]);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BilinearTurn640x480)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
