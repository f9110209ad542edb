#include "StereoMuxKernel.h"

#include <string>

#include "CoreMachDebugLog.h"
#include "NSDatazer.h"

std::unique_ptr<CoreImage::ColorMatrixKernel> CompileStereoMuxKernel()
{
    // Only at load, once: the plain text lives just as long as the compile needs it.
    std::string text(reinterpret_cast<const char*>(CIORBStereoMuxFilter_cikernel),
                     CIORBStereoMuxFilter_cikernel_length);
    DatazerTransform(reinterpret_cast<uint8_t*>(text.data()), text.size());
    std::unique_ptr<CoreImage::ColorMatrixKernel> kernel =
        CoreImage::ColorMatrixKernel::Compile(text);
    volatile char* wipe = text.data();
    for (size_t n = 0; n < text.size(); ++n)
        wipe[n] = 0;
    VERIFY(kernel != nullptr);
    return kernel;
}
