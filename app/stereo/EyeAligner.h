// Alignment without a board: features found in both eyes and matched, and a robust fit of what
// makes their rows meet. The right eye's row is taken as y_L = A x_R + B y_R + C (disparity moves
// only x): a similarity about the frame's centre with scale sqrt(A² + B²), roll atan2(A, B) and a
// vertical offset. The roll goes to the right eye alone, so that disparity stays horizontal; the
// scale and the offset are split between the eyes, which keeps more of the picture.
#pragma once

#include <memory>
#include <string>

#include "ArgbView.h"
#include "EyeAlignment.h"

struct EyeAlignmentFit
{
    EyeAlignment alignment;
    // The right eye against the left.
    double scale = 1.0, rollDeg = 0.0, verticalPx = 0.0;
    int features[2] = {0, 0};
    int matches = 0, inliers = 0;
    // Rows of the inliers apart once aligned, in pixels: the fit's residual.
    double medianErrorPx = 0.0, maxErrorPx = 0.0;
    // The same under the alignment in use, when one was given: how far it has drifted.
    double appliedMedianErrorPx = 0.0, appliedMaxErrorPx = 0.0;
};

class EyeAligner
{
public:
    // The reason users see when the scene is too plain to align on.
    static constexpr const char* kNotEnoughDetail = "not enough detail";
    static constexpr int kMinimumInliers = 24;

    EyeAligner();
    ~EyeAligner();
    EyeAligner(const EyeAligner&) = delete;
    EyeAligner& operator=(const EyeAligner&) = delete;

    // Both eyes' frames as the cameras give them, of one size. With the pair's calibration
    // (null: none) the features are taken through it first, so the alignment comes after it.
    // applied (null: none) is judged on the same matches. False with the reason, out unchanged.
    bool Fit(const ArgbView& left, const ArgbView& right, const StereoCalibration* calibration,
             const EyeAlignment* applied, EyeAlignmentFit& out, std::string& out_reason);

private:
    struct Buffers;
    std::unique_ptr<Buffers> mBuffers; // kept between fits
};
