// The stereo window's broadcast control.
#pragma once

#include <cstdint>

#include "NSUICamBroadcastControlFast.h"

class P3DBroadcastControl : public NSUICamBroadcastControlFast
{
    Q_OBJECT

public:
    explicit P3DBroadcastControl(QWidget* parent = nullptr);
    // Called once the window holding it is built.
    void awakeFromNib();

    // The broadcast's size, 640 x 480 or 1280 x 720; false for any other.
    bool setFrameSize(int in_width, int in_height)
    {
        return mWriter.setFrameSize(in_width, in_height);
    }
    // The capture times of the eyes of the frame about to be broadcast, CLOCK_MONOTONIC
    // microseconds; 0 for an eye without a frame.
    void setCaptureTimes(uint64_t in_leftUs, uint64_t in_rightUs)
    {
        mWriter.setCaptureTimes(in_leftUs, in_rightUs);
    }
};
