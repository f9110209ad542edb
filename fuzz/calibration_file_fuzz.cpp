// Calibration files come from other tools and from users: any bytes load as a calibration that
// saves and loads again the same, or are refused with a reason; a loaded one makes maps or says
// why not, and never reads outside the frame.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "StereoCalibration.h"
#include "StereoRectifier.h"

static void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

static std::string TempPath(const char* name)
{
    return "/tmp/p3d-calibration-fuzz-" + std::to_string(getpid()) + "-" + name;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = TempPath("in.yml");
    FILE* file = std::fopen(path.c_str(), "wb");
    Check(file != nullptr);
    Check(std::fwrite(data, 1, size, file) == size);
    std::fclose(file);

    StereoCalibration loaded;
    std::string reason;
    if (!StereoCalibration::Load(path, loaded, reason)) {
        Check(!reason.empty());
        Check(loaded == StereoCalibration());
        return 0;
    }
    Check(loaded.image_width > 0 && loaded.image_height > 0);
    for (const std::vector<double>* D : {&loaded.D1, &loaded.D2})
        for (double d : *D)
            Check(std::isfinite(d));

    const std::string copy = TempPath("copy.yml");
    StereoCalibration again;
    Check(loaded.Save(copy, reason) && StereoCalibration::Load(copy, again, reason));
    Check(again == loaded);
    std::remove(copy.c_str());

    // Small frames keep each run short; the maps are checked against the frame as they are made.
    StereoRectifier rectifier;
    const uint8_t pixels[16 * 12 * 4] = {};
    uint8_t out[16 * 12 * 4];
    if (rectifier.Prepare(loaded, 16, 12, reason))
        for (int eye = 0; eye < 2; ++eye)
            Check(rectifier.Rectify(eye, {pixels, 16 * 4, 16, 12}, out, 16 * 4));
    else
        Check(!reason.empty());
    return 0;
}
