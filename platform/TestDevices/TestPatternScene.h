// The test-pattern camera's picture: a small scene at several depths, seen by two eyes. The left
// eye is the reference; the right eye sees every object ParallaxPixels further left, more the
// nearer it is and not at all on the back wall, so a red-cyan anaglyph of the two shows depth.
// A ball crosses at a middle depth; a frame counter hangs on the wall.
//
// The eyes are a pinhole pair (TestPatternOptics); a rig's faults warp each ideal picture as its
// lens sees it, and a hand may hold a chessboard up in front of everything.
//
// Static parts are drawn once per frame size and eye; a frame copies them and draws the ball,
// the counter and the board, so rendering allocates nothing after the first frame of a size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "TestPatternChessboard.h"
#include "TestPatternOptics.h"
#include "TestPatternRig.h"
#include "TestPatternWarp.h"

class TestPatternScene
{
public:
    enum class Shape { kBox, kDisc };
    enum Eye { kLeftEye = 0, kRightEye = 1 };

    // The scene is laid out on a 640 x 480 frame; other sizes scale it by Scale() and centre it.
    static constexpr int kLayoutWidth = 640;
    static constexpr int kLayoutHeight = 480;
    // Metres; the wall behind everything is at the screen's plane.
    static constexpr double kWallDepth = 6.0;
    // Parallax at the layout size is kParallaxScale * (1 / depth - 1 / kWallDepth) pixels.
    // That is f B with the layout's focal length: the eyes are this far apart.
    static constexpr double kParallaxScale = 24.0;
    static constexpr double kBaselineMm = 1000.0 * kParallaxScale / TestPatternOptics::kFocalLength;

    struct Object
    {
        const char* name;
        Shape shape;
        double depth;
        uint8_t rgb[3];
        // The left eye's box at frame 0 on the layout frame.
        int x, y, width, height;
        // Layout pixels it moves right each frame, wrapping around the frame; 0 stands still.
        int step;
    };

    struct Box
    {
        int x = 0, y = 0, width = 0, height = 0;
    };

    // Far to near: the order they are drawn in.
    static std::span<const Object> Objects();
    static const Object& Find(const char* in_name);

    static double Scale(int in_width, int in_height);
    // How many pixels further left the right eye sees a point at this depth.
    static int ParallaxPixels(double in_depth, int in_width, int in_height);
    // Where the object is in this eye at this frame; x may lie off the frame.
    static Box Place(const Object& in_object, uint64_t in_frame, Eye in_eye, int in_width,
                     int in_height);
    // The frame counter's text, inside the plaque.
    static Box CounterBox(Eye in_eye, int in_width, int in_height);

    // Points of the still objects, corners and centres, at each of their depths.
    static const std::vector<TestPatternPoint>& KnownPoints();

    TestPatternScene() = default;
    TestPatternScene(const TestPatternScene&) = delete;
    TestPatternScene& operator=(const TestPatternScene&) = delete;

    void SetRig(const TestPatternRig& in_rig);
    void SetChessboard(bool in_shown) { mChessboard = in_shown; }

    // Where in_point lands in this eye's in_width x in_height picture, the rig's faults included;
    // false behind the eye.
    bool Project(Eye in_eye, const TestPatternPoint& in_point, int in_width, int in_height,
                 double& out_x, double& out_y) const;

    // One eye of frame in_frame as R,G,B bytes, rows in_rowBytes apart. False, with nothing
    // written, for a size of no pixels or beyond 8192 on a side.
    bool Render(uint64_t in_frame, Eye in_eye, int in_width, int in_height, uint8_t* out_rgb,
                size_t in_rowBytes);

private:
    struct Layer
    {
        std::vector<uint8_t> rgb;
        std::vector<uint8_t> depth; // decimetres, for hiding the ball behind nearer things
    };
    void Prepare(int in_width, int in_height);
    void DrawStatic(Eye in_eye);

    int mWidth = 0;
    int mHeight = 0;
    Layer mLayers[2];
    TestPatternRig mRig;
    bool mChessboard = false;
    TestPatternChessboard mBoard;
    // With a faulty rig the eyes are drawn ideal into their warps, then warped.
    bool mWarpsReady = false;
    TestPatternWarp mWarps[2];
};
