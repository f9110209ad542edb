// The guided calibration against a rig with known faults: a board held in varied poses, each for
// a second, its frames fed as a camera would at ten a second of a clock the test keeps.
#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

#include "CalibrationSession.h"
#include "RigPictures.h"

namespace {

using p3dtest::RigPictures;

// A grey picture as an opaque A,R,G,B frame.
void ToArgb(const std::vector<uint8_t>& grey, std::vector<uint8_t>& argb)
{
    for (size_t i = 0; i < grey.size(); ++i) {
        argb[i * 4] = 255;
        argb[i * 4 + 1] = argb[i * 4 + 2] = argb[i * 4 + 3] = grey[i];
    }
}

TEST(CalibrationSessionTest, TakesItsViewsByItselfAndCalibrates)
{
    constexpr int kPoses = 24;
    const std::vector<std::vector<uint8_t>> pictures = RigPictures::Grey(kPoses);
    CalibrationSession session;
    CalibrationSnapshot state;
    // Every frame is looked at: the worker's speed does not decide which poses it sees. A pair
    // is taken once the one before has been looked at.
    const auto feed = [&](const ArgbView& left, const ArgbView& right, double time) {
        while (!session.Feed(left, right, time)) {
            session.Snapshot(state);
            if (state.phase != CalibrationSnapshot::Phase::kCollecting)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    const size_t bytes = size_t(RigPictures::kWidth) * RigPictures::kHeight * 4;
    std::vector<uint8_t> argb[2] = {std::vector<uint8_t>(bytes), std::vector<uint8_t>(bytes)};
    const ArgbView left{argb[0].data(), RigPictures::kWidth * 4, RigPictures::kWidth,
                        RigPictures::kHeight};
    const ArgbView right{argb[1].data(), RigPictures::kWidth * 4, RigPictures::kWidth,
                         RigPictures::kHeight};
    double time = 0.0;
    for (int pose = 0; pose < kPoses; ++pose) {
        for (int eye = 0; eye < 2; ++eye)
            ToArgb(pictures[size_t(pose) * 2 + size_t(eye)], argb[eye]);
        for (int frame = 0; frame < 10; ++frame, time += 0.1)
            feed(left, right, time);
    }
    feed(left, right, time); // taken only once the last pair has been looked at
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        session.Snapshot(state);
    } while (state.phase == CalibrationSnapshot::Phase::kCalibrating);
    ASSERT_EQ(state.phase, CalibrationSnapshot::Phase::kDone)
        << state.viewsTaken << " views; " << state.reason;
    EXPECT_EQ(state.viewsTaken, 15);
    EXPECT_EQ(state.outlines.size(), 15u);
    EXPECT_LT(state.report.rms, 0.5);
    EXPECT_EQ(state.report.pairsUsed, 15);

    // Try Again starts from nothing.
    session.Restart();
    session.Snapshot(state);
    EXPECT_EQ(state.phase, CalibrationSnapshot::Phase::kCollecting);
    EXPECT_EQ(state.viewsTaken, 0);
    EXPECT_TRUE(state.outlines.empty());
}

} // namespace
