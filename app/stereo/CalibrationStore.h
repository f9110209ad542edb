// Each camera pair's calibration, one file per (left camera, right camera) in the user's
// calibrations folder, found again by the cameras' names at the next launch.
#pragma once

#include <string>

#include "StereoCalibration.h"

// Files in ${XDG_CONFIG_HOME:-~/.config}/Parallax3D/calibrations, and the eyes' alignments,
// kept as calibrations of their own, beside them in alignments.
class CalibrationStore
{
public:
    enum Shelf { kCalibrations, kAlignments };

    // The pair's file; empty without a home folder. The names are escaped into it, so any two names
    // make a file name of their own that is safe in one folder; very long ones end in a digest of
    // both.
    static std::string PathOf(const std::string& left, const std::string& right,
                              Shelf shelf = kCalibrations);
    // Keeps the calibration as the pair's, replacing any; false with the reason.
    static bool Save(const std::string& left, const std::string& right,
                     const StereoCalibration& calibration, std::string& out_reason,
                     Shelf shelf = kCalibrations);
    // The pair's calibration; false when it has none (out_reason empty) or its file cannot be
    // used (out_reason says why).
    static bool Find(const std::string& left, const std::string& right,
                     StereoCalibration& out_calibration, std::string& out_reason,
                     Shelf shelf = kCalibrations);
    // Forgets the pair's file; true when it has none left.
    static bool Remove(const std::string& left, const std::string& right, Shelf shelf);
};
