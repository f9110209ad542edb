// The stereo mux filter's kernel: the text of StereoMux.cikernel, held scrambled in the program
// so the plain text never appears in it, and compiled into the engine's native evaluator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "ColorMatrixKernel.h"

// Generated at build time from StereoMux.cikernel, scrambled by DatazerTransform.
extern const uint8_t CIORBStereoMuxFilter_cikernel[];
extern const size_t CIORBStereoMuxFilter_cikernel_length;

// Unscrambles the stored text, compiles it and wipes the plain text again.
std::unique_ptr<CoreImage::ColorMatrixKernel> CompileStereoMuxKernel();
