// How the eyes are moved so that their rows meet, found from the pictures alone: a homography per
// eye from the eye's pixels (those of the pair's calibration, uncropped, when it has one) to the
// aligned picture's. The rectifier applies it as a calibration of its own.
#pragma once

#include <array>
#include <string>

#include "StereoCalibration.h"

struct EyeAlignment
{
    static constexpr std::array<double, 9> kIdentity = {1, 0, 0, 0, 1, 0, 0, 0, 1};

    int width = 0, height = 0;                           // the frame size the homographies are of
    std::array<double, 9> H[2] = {kIdentity, kIdentity}; // left, right; row by row, H[8] = 1

    bool operator==(const EyeAlignment&) const = default;

    // Moves nothing, at that size.
    static EyeAlignment Identity(int width, int height);
    // The same alignment for frames of another size.
    EyeAlignment scaled(int width, int height) const;

    // As a calibration with no lens (M = P = K, D = 0) and R = K⁻¹ H K; T and the depth terms of
    // Q are zero, so it claims no baseline and no millimetres.
    StereoCalibration ToCalibration() const;
    // Back from ToCalibration; false with the reason for a calibration that is not one (a lens,
    // a baseline), out unchanged.
    static bool FromCalibration(const StereoCalibration& calibration, EyeAlignment& out,
                                std::string& out_reason);
    // What the rectifier uses: this alignment after the pair's calibration (R' = K⁻¹ H K R, K the
    // projection's own), or alone without one.
    StereoCalibration ComposedWith(const StereoCalibration* calibration) const;

    // The most a point of the frame's border moves up or down between the two, in either eye, in
    // pixels of this one's size.
    double VerticalChange(const EyeAlignment& other) const;
    // A step from this toward target that moves no point of the border more than maxPx up or
    // down; target itself when it is that near.
    EyeAlignment StepToward(const EyeAlignment& target, double maxPx) const;
};
