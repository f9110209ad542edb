// Chooses the views of a guided calibration from the corners found in both eyes, frame by
// frame: a view is taken when the board is whole in both eyes, has held still for a moment and
// differs from every view taken in place, tilt or distance. Corners only, no pictures.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

class CalibrationViewPicker
{
public:
    enum class Verdict {
        kNoBoard,    // not whole in both eyes
        kMoving,     // the corners moved since the last frame
        kHolding,    // still, not yet for long enough
        kSeenBefore, // still, but like a view taken
        kTake,       // still and new: take it
    };
    struct Settings
    {
        double stillSeconds = 0.5;
        float stillPixels = 1.5f; // the most a corner may move while the board is held
        // A new view differs from each one taken by one of these steps, or by parts of several
        // that add up to one.
        double placeShift = 0.06; // the board's centre, in diagonals of the frame
        double sizeChange = 0.12; // the board's size in the picture, relative (log)
        double tiltChange = 0.05; // the ratio of its opposite edges (log): turned toward the eye
        double rollDegrees = 8.0;
    };
    // A view's board in the left eye: the outer corners x, y, clockwise from the first.
    using Outline = std::array<float, 8>;

    CalibrationViewPicker(int columns, int rows, const Settings& settings);
    CalibrationViewPicker(int columns, int rows) : CalibrationViewPicker(columns, rows, {}) {}

    // A frame's corners in each eye, x, y pairs row by row of the board (empty where it was not
    // found), in frames of width x height, seen at time_s.
    Verdict Judge(const std::vector<float>& left, const std::vector<float>& right, int width,
                  int height, double time_s);
    // The view last judged kTake is kept: later ones must differ from it.
    void Take(const std::vector<float>& left);
    // Forgets the views taken and the board held.
    void Clear();

    size_t viewsTaken() const { return mOutlines.size(); }
    const std::vector<Outline>& outlines() const { return mOutlines; }

private:
    struct Pose
    {
        float x, y;         // centre, in diagonals of the frame
        float size;         // log of the square root of its area
        float tiltX, tiltY; // logs of top over bottom and left over right edge
        float roll;         // radians
    };

    Outline OutlineOf(const std::vector<float>& corners) const;
    static Pose PoseOf(const Outline& outline, float diagonal);
    bool Differs(const Pose& a, const Pose& b) const;

    int mColumns, mRows;
    Settings mSettings;
    std::vector<float> mHeld[2]; // the corners when the board came to rest
    double mHeldSince = 0.0;
    float mDiagonal = 1.0f;
    std::vector<Pose> mPoses;
    std::vector<Outline> mOutlines;
};
