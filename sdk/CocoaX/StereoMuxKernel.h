// The stereo mux filter's kernel: the text of StereoMux.cikernel, held scrambled in the program
// so the plain text never appears in it, and compiled into the engine's native evaluator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "ColorMatrixKernel.h"
#include "NSDatazer.h"

// Generated at build time from StereoMux.cikernel, scrambled by DatazerTransform.
extern const uint8_t CIORBStereoMuxFilter_cikernel[];
extern const size_t CIORBStereoMuxFilter_cikernel_length;

// Unscrambles a stored text, hands it to compile and wipes the plain text again: it lives just
// as long as the compile needs it.
template <typename Compile>
auto WithUnscrambledText(const uint8_t* scrambled, size_t length, Compile compile)
{
    std::string text(reinterpret_cast<const char*>(scrambled), length);
    DatazerTransform(reinterpret_cast<uint8_t*>(text.data()), text.size());
    auto result = compile(std::string_view(text));
    volatile char* wipe = text.data();
    for (size_t n = 0; n < text.size(); ++n)
        wipe[n] = 0;
    return result;
}

// Unscrambles the stored text, compiles it and wipes the plain text again.
std::unique_ptr<CoreImage::ColorMatrixKernel> CompileStereoMuxKernel();
