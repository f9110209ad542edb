// How comfortable the monitor's 3-D is to watch, from the live depth map's histogram: the range
// of parallax the picture spans against the comfort budget, and whether something in front of
// the screen is cut by the picture's left or right edge (a window violation). No display.
//
// Parallax is xRight - xLeft on the monitor: negative in front of the screen. It is the eyes'
// disparity turned round, plus what the eyes' offsets and the convergence shift move them apart.
#pragma once

#include <string>

#include "DepthSnapshot.h"

class ComfortCheck
{
public:
    static constexpr double kDefaultBudgetPercent = 3.0;
    static constexpr double kMinBudgetPercent = 0.5, kMaxBudgetPercent = 10.0;
    // The nearest and the farthest that count: a few stray matches move neither.
    static constexpr double kNearPercentile = 2.0, kFarPercentile = 98.0;
    // Fewer known pixels than this share of the map say nothing reliable (a blank wall, a cap).
    static constexpr double kMinKnownShare = 0.05;
    // An edge band is violated when more than kViolationShare of its known pixels stand further
    // than kViolationPixels in front of the screen.
    static constexpr double kViolationPixels = 1.0;
    static constexpr double kViolationShare = 0.05;

    // How the monitor shows the eyes the map was made of.
    struct View
    {
        int leftOffsetX = 0, rightOffsetX = 0; // the eyes' offsets across
        int convergenceShift = 0;
        int width = 0; // the monitor picture's, for the budget
        double budgetPercent = kDefaultBudgetPercent;
    };

    struct Reading
    {
        bool measured = false;        // false: no map, or too little of it known; the numbers are 0
        double nearParallax = 0;      // the 2nd percentile, monitor pixels
        double farParallax = 0;       // the 98th percentile
        double budgetPixels = 0;      // parallax within ±this is comfortable
        double convergenceTarget = 0; // the convergence shift that puts nearParallax at 0
        bool exceeded = false;
        bool leftEdgeViolation = false, rightEdgeViolation = false;
        std::string status;  // the status line's words
        std::string warning; // empty when comfortable
        bool windowViolation() const { return leftEdgeViolation || rightEdgeViolation; }
    };

    ComfortCheck() { Clear(); }

    // Reads the histogram as the monitor shows it now. The words keep their memory between
    // calls: a steady run allocates nothing.
    const Reading& Check(const DepthHistogram& histogram, const View& view);
    // No map yet.
    const Reading& Clear();
    const Reading& reading() const { return mReading; }

    // The disparity (eye pixels) below which that percent of the bins' pixels lie, linear within
    // a bin; -1 for bins without pixels.
    static double DisparityPercentile(const std::vector<uint32_t>& bins, double percent);
    // Whether more than kViolationShare of an edge band's known pixels have a parallax below
    // -kViolationPixels, for eyes moved apart by separation pixels.
    static bool EdgeViolated(const std::vector<uint32_t>& band, double separation);

private:
    Reading mReading;
};
