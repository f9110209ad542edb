// A stereo rig's calibration: each camera's lens, where the right camera sits from the left one,
// and the rectification that puts corresponding points of the two eyes on one row. Kept in
// OpenCV's own YAML under the names its stereo sample uses, so files of other tools load.
#pragma once

#include <array>
#include <string>
#include <vector>

// The chessboard a calibration was made with: inner corners per row and per column.
struct StereoBoard
{
    int columns = 9;
    int rows = 6;
    double squareMm = 25.0;
    bool operator==(const StereoBoard&) const = default;
};

struct StereoCalibration
{
    int image_width = 0;
    int image_height = 0;
    // Matrices row by row: camera matrices, distortion coefficients, the right camera's rotation
    // and translation (in millimetres) from the left one, rectifying rotations, projections and
    // the disparity-to-depth matrix.
    std::array<double, 9> M1{}, M2{};
    std::vector<double> D1, D2;
    std::array<double, 9> R{};
    std::array<double, 3> T{};
    std::array<double, 9> R1{}, R2{};
    std::array<double, 12> P1{}, P2{};
    std::array<double, 16> Q{};
    // Ours, absent from other tools' files: the RMS reprojection error in pixels and the board.
    double rms = 0.0;
    StereoBoard board;

    bool operator==(const StereoCalibration&) const = default;

    // The same rig at another frame size of the same cameras: pixel terms scaled across and
    // down, the lens and the geometry kept. Itself when either size is not one.
    StereoCalibration scaled(int width, int height) const;
    // Whether frames of this size show what the calibrated frames showed: the same aspect. A
    // picture of another shape is the camera's cut or barred, which no scaling maps. False with
    // the reason in words.
    bool fitsFrame(int width, int height, std::string& out_reason) const;

    // Writes the file whole or not at all; false with the reason.
    bool Save(const std::string& path, std::string& out_reason) const;
    // Reads a file; false with the reason (unreadable, a key missing, a matrix of the wrong
    // shape or with a value that is not finite), out_calibration unchanged.
    static bool Load(const std::string& path, StereoCalibration& out_calibration,
                     std::string& out_reason);
};
