// What the camera image controls offer, chosen for real webcams: wide enough to rescue a dim or
// washed-out camera, narrow enough that the whole slider stays useful. Each range's fallback is
// its filter's identity, the value that leaves the picture as it is.
#pragma once

#include "NSUIFloatRange.h"

class CICameraControlRanges
{
public:
    // In EV: two stops either way; webcams set their own exposure, this only corrects it.
    static constexpr NSUIFloatRange kExposure{-2.0, 2.0, 0.0};
    // Added to every channel; past a quarter the picture is washed out or black.
    static constexpr NSUIFloatRange kBrightness{-0.5, 0.5, 0.0};
    // About middle grey: a quarter (flat) to double.
    static constexpr NSUIFloatRange kContrast{0.25, 2.0, 1.0};
    // 0 is grey, 2 twice as colourful.
    static constexpr NSUIFloatRange kSaturation{0.0, 2.0, 1.0};
};
