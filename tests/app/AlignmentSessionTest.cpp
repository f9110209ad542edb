// The alignment worker fed as the tick feeds it, on the frames' clock: a fit asked for comes back
// whole, keeping the eyes aligned moves the alignment a small step a frame, a plain scene is
// refused with the reason users see.
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

#include "AlignmentSession.h"
#include "RigEyes.h"
#include "StereoRectifier.h"

namespace {

using p3dtest::RigEyes;

class AlignmentSessionTest : public testing::Test
{
protected:
    // Feeds frame after frame, 30 a second on the frames' clock, until the worker has news; each
    // frame waits a little for the worker, as a tick would come later.
    AlignmentSession::News NextNews(const RigEyes& eyes)
    {
        for (int frames = 0; frames < 3000; ++frames, ++frame) {
            session.Feed(eyes.eye(0), eyes.eye(1), double(frame) / 30.0);
            const AlignmentSession::News news = session.Take(step, reason);
            if (news != AlignmentSession::News::kNone)
                return news;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return AlignmentSession::News::kNone;
    }

    AlignmentSession session;
    uint64_t frame = 0;
    AlignmentSession::Step step;
    std::string reason;
};

TEST_F(AlignmentSessionTest, AFitAskedForIsAppliedWholeAndAPlainSceneIsRefused)
{
    RigEyes eyes("vertical=6,roll=1.5,focal=3");
    session.Feed(eyes.eye(0), eyes.eye(1), 0.0);
    EXPECT_EQ(session.Take(step, reason), AlignmentSession::News::kNone) << "nothing asked";

    session.RequestFit();
    ASSERT_EQ(NextNews(eyes), AlignmentSession::News::kStep) << reason;
    EXPECT_TRUE(step.last) << "a click is applied whole";
    ASSERT_NE(step.rectifier, nullptr);
    EXPECT_EQ(step.rectifier->width(), RigEyes::kWidth) << "the maps are ready";
    EXPECT_EQ(step.calibration, step.alignment.ToCalibration());
    EXPECT_LE(step.fit.medianErrorPx, 0.5);

    eyes.Flat(128);
    session.RequestFit();
    EXPECT_EQ(NextNews(eyes), AlignmentSession::News::kRefused);
    EXPECT_EQ(reason, EyeAligner::kNotEnoughDetail);
}

// Drift from the alignment in use toward the fit, never more than a step between two frames,
// until the rows meet.
TEST_F(AlignmentSessionTest, KeepingTheEyesAlignedMovesASmallStepAFrame)
{
    const RigEyes eyes("vertical=3,roll=0.5");
    EyeAlignment applied = EyeAlignment::Identity(RigEyes::kWidth, RigEyes::kHeight);
    session.SetState(nullptr, &applied);
    session.SetKeeping(true);
    int steps = 0;
    do {
        ASSERT_EQ(NextNews(eyes), AlignmentSession::News::kStep) << reason;
        EXPECT_LE(applied.VerticalChange(step.alignment), AlignmentSession::kStepPx + 1e-6);
        applied = step.alignment;
    } while (++steps < 200 && !step.last);
    EXPECT_TRUE(step.last);
    EXPECT_GT(steps, 10) << "3 px and a roll are not corrected at once";
    EXPECT_LE(step.fit.medianErrorPx, 0.5);
}

} // namespace
