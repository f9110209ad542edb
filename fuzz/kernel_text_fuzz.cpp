// Kernel texts come from files a user may edit: any bytes give a kernel or a report, and a
// kernel that compiles evaluates within its bounds on both paths.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ColorMatrixKernel.h"

using CoreImage::ColorMatrixKernel;

static void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CoreImage::KernelTextError error;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::unique_ptr<ColorMatrixKernel> kernel = ColorMatrixKernel::Compile(text, &error);
    if (!kernel) {
        Check(!error.reason.empty() && error.offset <= size && error.line >= 1);
        return 0;
    }
    for (const ColorMatrixKernel::Matrix* matrix :
         {&kernel->firstMatrix(), &kernel->secondMatrix()})
        for (const auto& row : *matrix)
            for (double c : row)
                Check(std::isfinite(c) && std::fabs(c) <= ColorMatrixKernel::kMaxCoefficient);

    // Eyes built from the text itself, so the corpus varies the pixels too.
    constexpr size_t kCount = 19;
    uint8_t first[kCount * 4], second[kCount * 4], fast[kCount * 4], reference[kCount * 4];
    for (size_t n = 0; n < kCount * 4; ++n) {
        first[n] = size ? data[n % size] : 0;
        second[n] = size ? data[(n * 7 + 3) % size] : 0;
    }
    for (size_t n = 0; n < kCount; n += 2)
        first[n * 4] = second[n * 4] = 255;
    for (float swap : {0.0f, 1.0f}) {
        kernel->evaluateRow(first, second, fast, kCount, swap);
        kernel->evaluateRowReference(first, second, reference, kCount, swap);
        for (size_t n = 0; n < kCount * 4; ++n)
            Check(std::abs(int(fast[n]) - int(reference[n])) <= 1);
        for (size_t n = 0; n < kCount; ++n) {
            Check(fast[n * 4] == (first[n * 4] > second[n * 4] ? first[n * 4] : second[n * 4]));
            for (int c = 1; c < 4; ++c)
                Check(fast[n * 4 + c] <= fast[n * 4]);
        }
    }
    return 0;
}
