// What is wrong with the test-pattern camera's rig, as a real stereo rig would be built: both
// lenses with radial distortion k1, the right camera rolled about its optical axis, its focal
// length longer and its principal point lower. All zero: the ideal pinhole pair.
// Written "vertical=6,roll=1.5,focal=3,k1=-0.1", any subset in any order.
#pragma once

#include <string>

struct TestPatternRig
{
    double verticalPx = 0;   // right principal point lower, in pixels of the 640 x 480 layout
    double rollDeg = 0;      // right camera rolled clockwise as it looks, degrees
    double focalPercent = 0; // right focal length longer, percent
    double k1 = 0;           // radial distortion of both lenses

    bool IsIdeal() const { return verticalPx == 0 && rollDeg == 0 && focalPercent == 0 && k1 == 0; }

    // False with the reason for an unknown or repeated key, a value that is not a number or out
    // of range; out_rig is untouched then. The empty text is the ideal rig.
    static bool Parse(const std::string& in_text, TestPatternRig& out_rig, std::string& out_reason);
};
