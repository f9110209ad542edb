// The red-cyan anaglyph of Dubois (least squares), as the kernel language states it: the
// matrices and a kernel text with them, for the tests of the kernel language and of the stereo
// kernel the program stores.
#pragma once

#include "ColorMatrixKernel.h"

namespace p3dtest {

// Rows are output R, G, B; columns are input R, G, B.
inline const CoreImage::ColorMatrixKernel::Matrix kDuboisLeft = {
    {{0.456, 0.500, 0.176}, {-0.040, -0.038, -0.016}, {-0.015, -0.021, -0.005}}};
inline const CoreImage::ColorMatrixKernel::Matrix kDuboisRight = {
    {{-0.043, -0.088, -0.002}, {0.378, 0.734, -0.018}, {-0.072, -0.113, 1.226}}};

inline const char* const kDuboisText = R"(/* first sampler: right eye */
kernel vec4 stereoMux(sampler rightEye, sampler leftEye, float swapEyes)
{
    leftEye  = matrix([ 0.456,  0.500,  0.176],
                      [-0.040, -0.038, -0.016],
                      [-0.015, -0.021, -0.005]);
    rightEye = matrix([-0.043, -0.088, -0.002],
                      [ 0.378,  0.734, -0.018],
                      [-0.072, -0.113,  1.226]);
}
)";

} // namespace p3dtest
