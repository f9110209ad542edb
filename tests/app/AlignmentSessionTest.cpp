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

// Feeds frame after frame, 30 a second on the frames' clock, until the worker has news; each
// frame waits a little for the worker, as a tick would come later. The frames it took.
int FeedUntilNews(AlignmentSession& session, const RigEyes& eyes, uint64_t& frame,
                  AlignmentSession::Step& step, std::string& reason,
                  AlignmentSession::News& out_news)
{
    for (int frames = 1; frames <= 3000; ++frames, ++frame) {
        session.Feed(eyes.eye(0), eyes.eye(1), double(frame) / 30.0);
        out_news = session.Take(step, reason);
        if (out_news != AlignmentSession::News::kNone)
            return frames;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
}

TEST(AlignmentSessionTest, AFitAskedForIsAppliedWholeAndAPlainSceneIsRefused)
{
    RigEyes eyes;
    ASSERT_TRUE(eyes.SetRig("vertical=6,roll=1.5,focal=3"));
    eyes.Render(0);
    AlignmentSession session;
    uint64_t frame = 0;
    AlignmentSession::Step step;
    std::string reason;
    AlignmentSession::News news;
    session.Feed(eyes.eye(0), eyes.eye(1), 0.0);
    EXPECT_EQ(session.Take(step, reason), AlignmentSession::News::kNone) << "nothing asked";

    session.RequestFit();
    ASSERT_GT(FeedUntilNews(session, eyes, frame, step, reason, news), 0);
    ASSERT_EQ(news, AlignmentSession::News::kStep) << reason;
    EXPECT_TRUE(step.last) << "a click is applied whole";
    ASSERT_NE(step.rectifier, nullptr);
    EXPECT_EQ(step.rectifier->width(), RigEyes::kWidth) << "the maps are ready";
    EXPECT_EQ(step.calibration, step.alignment.ToCalibration());
    EXPECT_LE(step.fit.medianErrorPx, 0.5);

    eyes.Flat(128);
    session.RequestFit();
    ASSERT_GT(FeedUntilNews(session, eyes, frame, step, reason, news), 0);
    EXPECT_EQ(news, AlignmentSession::News::kRefused);
    EXPECT_EQ(reason, EyeAligner::kNotEnoughDetail);
}

// Drift from the alignment in use toward the fit, never more than a step between two frames,
// until the rows meet.
TEST(AlignmentSessionTest, KeepingTheEyesAlignedMovesASmallStepAFrame)
{
    RigEyes eyes;
    ASSERT_TRUE(eyes.SetRig("vertical=3,roll=0.5"));
    eyes.Render(0);
    AlignmentSession session;
    const EyeAlignment none = EyeAlignment::Identity(RigEyes::kWidth, RigEyes::kHeight);
    session.SetState(nullptr, &none);
    session.SetKeeping(true);
    EyeAlignment applied = none;
    uint64_t frame = 0;
    int steps = 0;
    AlignmentSession::Step step;
    std::string reason;
    AlignmentSession::News news;
    do {
        ASSERT_GT(FeedUntilNews(session, eyes, frame, step, reason, news), 0);
        ASSERT_EQ(news, AlignmentSession::News::kStep) << reason;
        EXPECT_LE(applied.VerticalChange(step.alignment), AlignmentSession::kStepPx + 1e-6);
        applied = step.alignment;
        ++steps;
    } while (!step.last && steps < 200);
    EXPECT_TRUE(step.last);
    EXPECT_GT(steps, 10) << "3 px and a roll are not corrected at once";
    EXPECT_LE(step.fit.medianErrorPx, 0.5);
}

} // namespace
