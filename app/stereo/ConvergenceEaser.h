// Automatic convergence a frame at a time: moves the convergence shift toward the one that puts
// the nearest comfortable plane at the screen. The move eases out over about half a second and
// never goes faster than a pixel a frame, so the picture never jumps; within a dead band around
// the target it holds still, so the matcher's noise does not make it hunt. No display.
#pragma once

class ConvergenceEaser
{
public:
    static constexpr double kEaseSeconds = 0.5;
    static constexpr double kMaxPixelsPerFrame = 1.0;
    // A tail slower than this would take seconds for the last pixel.
    static constexpr double kMinPixelsPerFrame = 0.1;
    // Held still while the target is within this of the shift.
    static constexpr double kDeadBandPixels = 1.0;

    // limit: the largest shift either way the monitor takes.
    ConvergenceEaser(double framesPerSecond, int limit);

    // Starts from this shift, still: switching on, or a shift set by other means.
    void Reset(int shift);
    // One frame toward target (pixels; held to the limit, not a number: held still); the shift
    // for this frame.
    int Step(double target);
    int shift() const { return mShift; }
    bool moving() const { return mMoving; }

private:
    double mTimeConstantFrames; // a third of the ease: 95 % of a move is done by its end
    int mLimit;
    double mPosition = 0;
    int mShift = 0;
    bool mMoving = false;
};
