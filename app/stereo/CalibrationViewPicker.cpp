#include "CalibrationViewPicker.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kPi = 3.14159265358979f;

float Distance(float x0, float y0, float x1, float y1)
{
    return std::hypot(x1 - x0, y1 - y0);
}

// The largest distance a corner moved between two sets of the same board.
float LargestMove(const std::vector<float>& a, const std::vector<float>& b)
{
    float largest = 0.0f;
    for (size_t i = 0; i + 1 < a.size(); i += 2)
        largest = std::max(largest, Distance(a[i], a[i + 1], b[i], b[i + 1]));
    return largest;
}

} // namespace

CalibrationViewPicker::CalibrationViewPicker(int columns, int rows, const Settings& settings)
    : mColumns(columns), mRows(rows), mSettings(settings)
{
}

CalibrationViewPicker::Verdict CalibrationViewPicker::Judge(const std::vector<float>& left,
                                                            const std::vector<float>& right,
                                                            int width, int height, double time_s)
{
    const size_t count = size_t(mColumns) * size_t(mRows) * 2;
    mDiagonal = std::max(1.0f, std::hypot(float(width), float(height)));
    if (mColumns < 2 || mRows < 2 || left.size() != count || right.size() != count) {
        mHeld[0].clear();
        mHeld[1].clear();
        return Verdict::kNoBoard;
    }
    const bool moved = mHeld[0].size() != count ||
                       LargestMove(mHeld[0], left) > mSettings.stillPixels ||
                       LargestMove(mHeld[1], right) > mSettings.stillPixels;
    // A clock that went back starts the hold again.
    if (moved || time_s < mHeldSince) {
        mHeld[0].assign(left.begin(), left.end());
        mHeld[1].assign(right.begin(), right.end());
        mHeldSince = time_s;
        return Verdict::kMoving;
    }
    if (time_s - mHeldSince < mSettings.stillSeconds)
        return Verdict::kHolding;
    const Pose pose = PoseOf(OutlineOf(left), mDiagonal);
    for (const Pose& taken : mPoses)
        if (!Differs(pose, taken))
            return Verdict::kSeenBefore;
    return Verdict::kTake;
}

void CalibrationViewPicker::Take(const std::vector<float>& left)
{
    if (left.size() != size_t(mColumns) * size_t(mRows) * 2)
        return;
    mOutlines.push_back(OutlineOf(left));
    mPoses.push_back(PoseOf(mOutlines.back(), mDiagonal));
}

void CalibrationViewPicker::Clear()
{
    mHeld[0].clear();
    mHeld[1].clear();
    mPoses.clear();
    mOutlines.clear();
}

CalibrationViewPicker::Outline CalibrationViewPicker::OutlineOf(const std::vector<float>& c) const
{
    const size_t first = 0, rowEnd = size_t(mColumns - 1) * 2;
    const size_t last = c.size() - 2, lastRow = size_t(mRows - 1) * size_t(mColumns) * 2;
    return {c[first], c[first + 1], c[rowEnd],  c[rowEnd + 1],
            c[last],  c[last + 1],  c[lastRow], c[lastRow + 1]};
}

CalibrationViewPicker::Pose CalibrationViewPicker::PoseOf(const Outline& o, float diagonal)
{
    // Corners 0 and 1 are the top edge, 3 and 2 the bottom one, 0 and 3 the left.
    const float top = Distance(o[0], o[1], o[2], o[3]);
    const float bottom = Distance(o[6], o[7], o[4], o[5]);
    const float leftEdge = Distance(o[0], o[1], o[6], o[7]);
    const float rightEdge = Distance(o[2], o[3], o[4], o[5]);
    float area = 0.0f;
    for (int i = 0; i < 4; ++i) {
        const int j = (i + 1) % 4;
        area += o[2 * i] * o[2 * j + 1] - o[2 * j] * o[2 * i + 1];
    }
    const float tiny = 1e-3f;
    Pose pose;
    pose.x = (o[0] + o[2] + o[4] + o[6]) / (4.0f * diagonal);
    pose.y = (o[1] + o[3] + o[5] + o[7]) / (4.0f * diagonal);
    pose.size = 0.5f * std::log(std::max(std::abs(area) * 0.5f, tiny));
    pose.tiltX = std::log(std::max(top, tiny) / std::max(bottom, tiny));
    pose.tiltY = std::log(std::max(leftEdge, tiny) / std::max(rightEdge, tiny));
    // The direction of the rows, both edges together.
    pose.roll = std::atan2(o[3] - o[1] + o[5] - o[7], o[2] - o[0] + o[4] - o[6]);
    return pose;
}

bool CalibrationViewPicker::Differs(const Pose& a, const Pose& b) const
{
    float roll = std::abs(a.roll - b.roll);
    roll = std::min(roll, 2.0f * kPi - roll);
    // Each way counted against its own step: a view moved half a step and turned half a step is
    // as new as one moved a whole step.
    const double steps = Distance(a.x, a.y, b.x, b.y) / mSettings.placeShift +
                         std::abs(a.size - b.size) / mSettings.sizeChange +
                         std::abs(a.tiltX - b.tiltX) / mSettings.tiltChange +
                         std::abs(a.tiltY - b.tiltY) / mSettings.tiltChange +
                         roll / (mSettings.rollDegrees * kPi / 180.0);
    return steps > 1.0;
}
