// Calibration of a stereo rig from views of a chessboard held in front of both cameras: the
// corners found in each pair, each camera calibrated, then the pair, then rectified.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ArgbView.h"
#include "ChessboardFinder.h"
#include "StereoCalibration.h"

// How good a calibration is.
struct StereoCalibrationReport
{
    int pairsUsed = 0;
    int pairsGiven = 0;
    double rms = 0.0;           // reprojection error, pixels
    double verticalError = 0.0; // mean of the corners' row difference once rectified, pixels
    double baselineMm = 0.0;
};

class StereoCalibrator
{
public:
    static constexpr int kMinimumPairs = 6;

    explicit StereoCalibrator(const StereoBoard& board);

    // Looks for the board in both eyes of a pair; false, with the reason the pair is not used,
    // when it is not found in both, the images differ in size or the view is one already used.
    bool AddPair(const ArgbView& left, const ArgbView& right, std::string& out_reason);
    // The same for image files; a file that is not an image spoils the set.
    bool AddPairFiles(const std::string& left, const std::string& right, std::string& out_reason);

    // Calibrates from the pairs used; false with the reason when there are too few, the pairs
    // came in more than one size, a file was unreadable, or the solver fails.
    bool Calibrate(StereoCalibration& out_calibration, StereoCalibrationReport& out_report,
                   std::string& out_reason) const;

private:
    // Corners of one view as x, y pairs, row by row of the board.
    using Corners = std::vector<float>;

    // The pair the finders were given.
    bool AddFound(std::string& out_reason);

    StereoBoard mBoard;
    ChessboardFinder mLeftFinder, mRightFinder; // their grey pictures serve every pair
    int mWidth = 0, mHeight = 0;
    std::string mFault; // the first that spoils the whole set: a size, an unreadable file
    int mPairsGiven = 0;
    std::vector<Corners> mLeft, mRight;
    std::vector<int> mPairNumbers; // of the pairs used, counted from 1 among those given
};
