#include "StereoMuxKernel.h"

#include "CoreMachDebugLog.h"

std::unique_ptr<CoreImage::ColorMatrixKernel> CompileStereoMuxKernel()
{
    // Only at load, once.
    std::unique_ptr<CoreImage::ColorMatrixKernel> kernel = WithUnscrambledText(
        CIORBStereoMuxFilter_cikernel, CIORBStereoMuxFilter_cikernel_length,
        [](std::string_view text) { return CoreImage::ColorMatrixKernel::Compile(text); });
    VERIFY(kernel != nullptr);
    return kernel;
}
