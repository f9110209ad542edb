#include "TestPatternOptics.h"

#include <cmath>

#include "TestPatternScene.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

} // namespace

TestPatternOptics::TestPatternOptics(const TestPatternRig& in_rig, int in_width, int in_height)
    : mRig(in_rig)
{
    const double s = TestPatternScene::Scale(in_width, in_height);
    mFocal = kFocalLength * s;
    mCentreX = in_width / 2.0 - 0.5;
    mCentreY = in_height / 2.0 - 0.5;
    mBaseline = TestPatternScene::kBaselineMm / 1000.0;
    // The wall at no parallax: f B / wall depth to the right.
    mRightCentreX = mCentreX + mFocal * mBaseline / TestPatternScene::kWallDepth;
    mCos = std::cos(in_rig.rollDeg * kPi / 180.0);
    mSin = std::sin(in_rig.rollDeg * kPi / 180.0);
}

bool TestPatternOptics::Project(int in_eye, const TestPatternPoint& in_point, double& out_x,
                                double& out_y) const
{
    if (!(in_point.z > 0))
        return false;
    double x = (in_point.x - (in_eye == 1 ? mBaseline : 0.0)) / in_point.z;
    double y = in_point.y / in_point.z;
    double focal = mFocal, centreY = mCentreY;
    if (in_eye == 1) {
        const double rolledX = mCos * x + mSin * y;
        y = -mSin * x + mCos * y;
        x = rolledX;
        focal *= 1.0 + mRig.focalPercent / 100.0;
        centreY += mRig.verticalPx * mFocal / kFocalLength;
    }
    const double radial = 1.0 + mRig.k1 * (x * x + y * y);
    out_x = centreX(in_eye) + focal * x * radial;
    out_y = centreY + focal * y * radial;
    return true;
}

bool TestPatternOptics::IdealPixel(int in_eye, double in_x, double in_y, double& out_x,
                                   double& out_y) const
{
    double focal = mFocal, centreY = mCentreY;
    if (in_eye == 1) {
        focal *= 1.0 + mRig.focalPercent / 100.0;
        centreY += mRig.verticalPx * mFocal / kFocalLength;
    }
    double x = (in_x - centreX(in_eye)) / focal;
    double y = (in_y - centreY) / focal;
    // The undistorted radius r of r (1 + k1 r^2) = distorted, by Newton's method.
    const double distorted = std::hypot(x, y);
    double r = distorted;
    for (int i = 0; i < 20 && distorted > 0; ++i) {
        const double slope = 1.0 + 3.0 * mRig.k1 * r * r;
        if (!(slope > 0))
            return false;
        r -= (r * (1.0 + mRig.k1 * r * r) - distorted) / slope;
    }
    if (std::abs(r * (1.0 + mRig.k1 * r * r) - distorted) > 1e-9 || r < 0)
        return false;
    if (distorted > 0) {
        x *= r / distorted;
        y *= r / distorted;
    }
    if (in_eye == 1) {
        const double idealX = mCos * x - mSin * y;
        y = mSin * x + mCos * y;
        x = idealX;
    }
    out_x = centreX(in_eye) + mFocal * x;
    out_y = mCentreY + mFocal * y;
    return true;
}
