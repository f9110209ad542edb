// Makes the right eye's colour follow the left eye's: from the two eyes' channel means over the
// area both see, per-channel gains for the right eye, smoothed so they settle within about a
// second and never swing. A dark channel in either eye says nothing of colour and leaves its gain
// as it is, so a camera going black cannot push the gains anywhere; they stay in kMinGain…kMaxGain.
#pragma once

#include <array>

#include "EyeAdjustment.h"

class EyeColorMatcher
{
public:
    static constexpr float kMinGain = 0.5f;
    static constexpr float kMaxGain = 2.0f;
    // Below this mean level a channel is too dark to compare.
    static constexpr double kDarkLevel = 8.0;
    // Each update moves the gains this share of the way to the measured ratio: a time constant
    // of 15 frames, half a second at 30 frames a second.
    static constexpr double kStep = 1.0 / 15.0;

    void reset() { mGains = kUnitGains; }
    void update(const std::array<double, 3>& leftMeans, const std::array<double, 3>& rightMeans);
    const EyeGains& gains() const { return mGains; }

private:
    EyeGains mGains = kUnitGains;
};
