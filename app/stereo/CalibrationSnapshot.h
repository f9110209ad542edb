// What a guided calibration shows at one moment, copied out for the window to paint.
#pragma once

#include <string>
#include <vector>

#include "CalibrationViewPicker.h"
#include "StereoCalibration.h"
#include "StereoCalibrator.h"

struct CalibrationSnapshot
{
    enum class Phase {
        kCollecting,  // looking for views
        kCalibrating, // all views taken, the solver at work
        kDone,        // calibration and report ready
        kFailed,      // reason says why
    };

    Phase phase = Phase::kCollecting;
    CalibrationViewPicker::Verdict verdict = CalibrationViewPicker::Verdict::kNoBoard;
    int viewsTaken = 0;
    int target = 0;
    // The latest pair looked at: its size and the corners in each eye, empty where not found.
    int width = 0, height = 0;
    std::vector<float> corners[2];
    // Where the board was in the left eye, a view each.
    std::vector<CalibrationViewPicker::Outline> outlines;
    StereoCalibration calibration;
    StereoCalibrationReport report;
    std::string reason;
};
