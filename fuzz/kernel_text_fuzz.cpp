// Kernel texts come from files a user may edit: any bytes, through the same call the user's
// encodings take, give a kernel or a report that says where, and a kernel that compiles
// evaluates within its bounds on both paths.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ColorMatrixKernel.h"
#include "StereoEncodingList.h"

using CoreImage::ColorMatrixKernel;

static void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const CFPtr<CIKernel> compiled = StereoEncodingList::CompileUserText(text, &error);
    if (!compiled) {
        // "line L, column C: reason", the place inside the text or just past its end.
        unsigned line = 0, column = 0;
        int used = 0;
        Check(sscanf(error.c_str(), "line %u, column %u: %n", &line, &column, &used) == 2 &&
              used > 0 && error.size() > size_t(used) && line >= 1 && column >= 1 &&
              line <= size + 1 && column <= size + 1);
        return 0;
    }
    Check(size > 0 && size <= ColorMatrixKernel::kMaxTextBytes);
    const ColorMatrixKernel* kernel = &compiled->compiled();
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
