// Which frames of a held board become views: corners of a 9x6 board posed by hand.
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

#include "CalibrationViewPicker.h"

namespace {

using Verdict = CalibrationViewPicker::Verdict;

// Where a board stands before a 640 x 480 pinhole camera (f = 600).
struct Pose
{
    double x = 320, y = 240; // its centre in the picture
    double distance = 500;   // mm
    double tiltDegrees = 0;  // turned about its rows' direction
    double rollDegrees = 0;  // turned in its own plane
    double shiftPixels = 0;  // every corner moved right by this much
};

// The 9x6 inner corners of 25 mm squares as x, y pairs, row by row.
std::vector<float> Corners(const Pose& pose)
{
    const double pi = 3.14159265358979, f = 600;
    const double tilt = pose.tiltDegrees * pi / 180, roll = pose.rollDegrees * pi / 180;
    std::vector<float> corners;
    for (int row = 0; row < 6; ++row)
        for (int column = 0; column < 9; ++column) {
            const double u = (column - 4) * 25.0, v = (row - 2.5) * 25.0;
            const double ru = u * std::cos(roll) - v * std::sin(roll);
            const double rv = u * std::sin(roll) + v * std::cos(roll);
            const double z = pose.distance + rv * std::sin(tilt);
            corners.push_back(float(pose.x + pose.shiftPixels + f * ru / z));
            corners.push_back(float(pose.y + f * rv * std::cos(tilt) / z));
        }
    return corners;
}

TEST(CalibrationViewPickerTest, TakesAViewHeldStillThatDiffersFromThoseTaken)
{
    const Pose taken;
    struct Case
    {
        const char* what;
        Pose first, last; // the board when it comes to rest, and after heldFor seconds
        double heldFor;
        bool leftSees = true, rightSees = true;
        Verdict verdict;
    };
    const Case cases[] = {
        {"missing in the left eye", {.x = 160}, {.x = 160}, 1.0, false, true, Verdict::kNoBoard},
        {"missing in the right eye", {.x = 160}, {.x = 160}, 1.0, true, false, Verdict::kNoBoard},
        {"held too briefly", {.x = 160}, {.x = 160}, 0.3, true, true, Verdict::kHolding},
        {"moved 3 px", {.x = 160}, {.x = 160, .shiftPixels = 3}, 1.0, true, true, Verdict::kMoving},
        {"trembling by a pixel",
         {.x = 160},
         {.x = 160, .shiftPixels = 1},
         1.0,
         true,
         true,
         Verdict::kTake},
        {"where a view was taken", taken, taken, 1.0, true, true, Verdict::kSeenBefore},
        {"moved a little", {.x = 350}, {.x = 350}, 1.0, true, true, Verdict::kSeenBefore},
        {"elsewhere", {.x = 420}, {.x = 420}, 1.0, true, true, Verdict::kTake},
        {"a little nearer",
         {.distance = 480},
         {.distance = 480},
         1.0,
         true,
         true,
         Verdict::kSeenBefore},
        {"nearer", {.distance = 400}, {.distance = 400}, 1.0, true, true, Verdict::kTake},
        {"tilted a little",
         {.tiltDegrees = 5},
         {.tiltDegrees = 5},
         1.0,
         true,
         true,
         Verdict::kSeenBefore},
        {"tilted", {.tiltDegrees = 25}, {.tiltDegrees = 25}, 1.0, true, true, Verdict::kTake},
        {"rolled a little",
         {.rollDegrees = 5},
         {.rollDegrees = 5},
         1.0,
         true,
         true,
         Verdict::kSeenBefore},
        {"moved and rolled a little",
         {.x = 350, .rollDegrees = 5},
         {.x = 350, .rollDegrees = 5},
         1.0,
         true,
         true,
         Verdict::kTake},
        {"rolled", {.rollDegrees = 15}, {.rollDegrees = 15}, 1.0, true, true, Verdict::kTake},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CalibrationViewPicker picker(9, 6);
        const std::vector<float> none;
        // The right eye sees the board 40 px to the left.
        const auto right = [](Pose pose) {
            pose.x -= 40;
            return Corners(pose);
        };
        picker.Judge(Corners(taken), right(taken), 640, 480, 0.0);
        ASSERT_EQ(picker.Judge(Corners(taken), right(taken), 640, 480, 0.6), Verdict::kTake);
        picker.Take(Corners(taken));
        picker.Judge(Corners(c.first), right(c.first), 640, 480, 10.0);
        EXPECT_EQ(picker.Judge(c.leftSees ? Corners(c.last) : none,
                               c.rightSees ? right(c.last) : none, 640, 480, 10.0 + c.heldFor),
                  c.verdict);
    }
}

} // namespace
