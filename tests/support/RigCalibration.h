// A guided calibration run against the test pattern's faulty rig, its hand holding the board in
// varied poses a second each: every third frame is fed, on the clock of the frame numbers.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

#include "CalibrationSession.h"
#include "StereoRectifier.h"
#include "TestPatternScene.h"

namespace p3dtest {

class RigCalibration
{
public:
    static constexpr int kWidth = 640, kHeight = 480;

    RigCalibration()
        : mRgb(size_t(kWidth) * kHeight * 3), mArgb{std::vector<uint8_t>(size_t(kWidth) * kHeight *
                                                                         4),
                                                    std::vector<uint8_t>(size_t(kWidth) * kHeight *
                                                                         4)}
    {
        TestPatternRig rig;
        std::string reason;
        TestPatternRig::Parse("vertical=6,roll=1.5,focal=3,k1=-0.1", rig, reason);
        mScene.SetRig(rig);
        mScene.SetChessboard(true);
    }

    using Shown = std::function<void(const ArgbView&, const ArgbView&, double)>;

    // A pose held and the move to the next, in frames.
    static constexpr uint64_t kPoseFrames =
        TestPatternChessboard::kHoldFrames + TestPatternChessboard::kMoveFrames;

    // Feeds session until it stops collecting, or for so many frames (40 poses). Every pair is
    // looked at, so the worker's speed does not decide which poses it sees: the next goes in only
    // once the one before has been taken. shown has each pair fed. The phase once the solver is
    // done.
    CalibrationSnapshot::Phase Run(CalibrationSession& session, const Shown& shown = {},
                                   uint64_t frames = 40 * kPoseFrames)
    {
        const ArgbView left = eye(0), right = eye(1);
        CalibrationSnapshot state;
        for (uint64_t frame = 0;
             frame < frames && state.phase == CalibrationSnapshot::Phase::kCollecting; frame += 3) {
            Render(frame, TestPatternScene::kLeftEye, mArgb[0]);
            Render(frame, TestPatternScene::kRightEye, mArgb[1]);
            const double time = double(frame) / 30.0;
            while (!session.Feed(left, right, time) &&
                   Phase(session, state) == CalibrationSnapshot::Phase::kCollecting)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (shown)
                shown(left, right, time);
            Phase(session, state);
        }
        while (Phase(session, state) == CalibrationSnapshot::Phase::kCalibrating)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return state.phase;
    }

    const TestPatternScene& scene() const { return mScene; }

    // The points the scene knows, as scene sees them, meet on one row once the calibration
    // rectifies both eyes: within half a pixel at the median, one pixel at most.
    static void ExpectRowsMeet(const StereoCalibration& calibration, const TestPatternScene& scene)
    {
        StereoRectifier rectifier;
        std::string reason;
        ASSERT_TRUE(rectifier.Prepare(calibration, kWidth, kHeight, reason)) << reason;
        std::vector<double> apart;
        for (const TestPatternPoint& point : TestPatternScene::KnownPoints()) {
            double x[2], y[2];
            for (int eye = 0; eye < 2; ++eye)
                ASSERT_TRUE(scene.Project(TestPatternScene::Eye(eye), point, kWidth, kHeight,
                                          x[eye], y[eye]) &&
                            rectifier.RectifyPoint(eye, x[eye], y[eye], x[eye], y[eye]));
            apart.push_back(std::abs(y[0] - y[1]));
        }
        ASSERT_FALSE(apart.empty());
        std::sort(apart.begin(), apart.end());
        EXPECT_LE(apart[apart.size() / 2], 0.5);
        EXPECT_LE(apart.back(), 1.0);
    }
    // The last frame fed, 0 left, 1 right.
    ArgbView eye(int eye) const { return {mArgb[eye].data(), kWidth * 4, kWidth, kHeight}; }

private:
    static CalibrationSnapshot::Phase Phase(const CalibrationSession& session,
                                            CalibrationSnapshot& state)
    {
        session.Snapshot(state);
        return state.phase;
    }

    // An eye of frame n as opaque A,R,G,B.
    void Render(uint64_t frame, TestPatternScene::Eye eye, std::vector<uint8_t>& argb)
    {
        mScene.Render(frame, eye, kWidth, kHeight, mRgb.data(), kWidth * 3);
        for (size_t i = 0; i < size_t(kWidth) * kHeight; ++i) {
            argb[i * 4] = 255;
            argb[i * 4 + 1] = mRgb[i * 3];
            argb[i * 4 + 2] = mRgb[i * 3 + 1];
            argb[i * 4 + 3] = mRgb[i * 3 + 2];
        }
    }

    TestPatternScene mScene;
    std::vector<uint8_t> mRgb;
    std::vector<uint8_t> mArgb[2];
};

} // namespace p3dtest
