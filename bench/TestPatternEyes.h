// The test pattern's eyes as its camera sends them, and the one QApplication of a widget
// benchmark, offscreen.
#pragma once

#include <QApplication>
#include <cstdint>
#include <cstdlib>
#include <linux/videodev2.h>
#include <vector>

#include "FakeV4L2Device.h"
#include "TestPatternCamera.h"

namespace bench {

// Frame 3 of one eye (0 left, 1 right) as an MJPEG frame, 640 x 480 unless asked.
inline std::vector<uint8_t> TestPatternEyeJPEG(int eye, uint32_t width = 640, uint32_t height = 480)
{
    TestPatternCamera pattern([] { return uint64_t(1100000); });
    FakeV4L2Device device;
    pattern.Configure(device);
    device.fourcc = V4L2_PIX_FMT_MJPEG;
    device.width = width;
    device.height = height;
    device.currentInput = eye;
    std::vector<uint8_t> frame(size_t(width) * height * 2);
    uint64_t timeUs = 0;
    frame.resize(pattern.FillFrame(device, frame.data(), frame.size(), &timeUs));
    return frame;
}

inline QApplication& OffscreenApplication()
{
    static int argc = 1;
    static char name[] = "parallax3d-bench";
    static char* argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QApplication application(argc, argv);
    return application;
}

} // namespace bench
