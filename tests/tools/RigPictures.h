// Pictures of a 9x6 chessboard (25 mm squares) as a stereo rig with known faults would take
// them: pinhole cameras 60 mm apart, the right one 6 px lower, rolled 1.5°, its focal length 3 %
// longer, both lenses with radial distortion k1 = -0.1.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace p3dtest {

struct RigPictures
{
    static constexpr double kBaselineMm = 60.0;
    static constexpr int kWidth = 640;
    static constexpr int kHeight = 480;

    // Writes count pairs of PNG files, the board in a varied pose in each, as folder/left-N.png
    // and folder/right-N.png; returns their paths, left, right, left, ...
    static std::vector<std::string> Write(const std::string& folder, int count);
    // The same pairs in memory: grey pictures of kWidth x kHeight bytes, left, right, left, ...
    static std::vector<std::vector<uint8_t>> Grey(int count);
};

} // namespace p3dtest
