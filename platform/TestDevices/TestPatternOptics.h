// The test-pattern camera's two eyes as pinhole cameras, so that a calibration can describe them
// exactly. Ideal, the eyes look the same way from TestPatternScene::kBaselineMm apart with focal
// length kFocalLength (layout pixels), the right eye's principal point moved right so that the
// wall has no parallax: that is the scene's ParallaxPixels (which rounds to whole pixels). A
// TestPatternRig then adds distortion to both lenses and rolls, lengthens and lowers the right one.
//
// Pixel coordinates have the centre of the top left pixel at (0, 0).
#pragma once

#include "TestPatternRig.h"

struct TestPatternPoint
{
    double x = 0, y = 0, z = 0; // metres from the left eye: right, down, ahead
};

class TestPatternOptics
{
public:
    static constexpr double kFocalLength = 600.0; // pixels of the 640 x 480 layout

    TestPatternOptics(const TestPatternRig& in_rig, int in_width, int in_height);

    // The ideal eye's camera matrix: focal length and principal point, in pixels of this size.
    double focal() const { return mFocal; }
    double centreX(int in_eye) const { return in_eye == 0 ? mCentreX : mRightCentreX; }
    double centreY() const { return mCentreY; }

    // Where the faulty eye (0 left, 1 right) sees in_point; false behind the eye.
    bool Project(int in_eye, const TestPatternPoint& in_point, double& out_x, double& out_y) const;
    // Where in the ideal eye's picture the faulty eye's pixel (in_x, in_y) looks; false where its
    // lens has no ray for it.
    bool IdealPixel(int in_eye, double in_x, double in_y, double& out_x, double& out_y) const;

private:
    TestPatternRig mRig;
    double mFocal, mCentreX, mRightCentreX, mCentreY, mBaseline;
    double mCos, mSin;
};
