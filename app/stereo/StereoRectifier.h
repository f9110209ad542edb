// Both eyes of a calibrated rig rectified: corresponding points on one row, the lenses'
// distortion taken out, and the picture cropped to what both eyes see whole and brought back to
// the frame size, so no black wedge shows at the borders. The maps are made once per
// calibration and frame size; each frame is then one bilinear pass per eye over them, without
// allocating: on the calling thread, and with RectifyBoth on the rectifier's own thread as well.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "ArgbView.h"
#include "StereoCalibration.h"

class StereoRectifier
{
public:
    StereoRectifier();
    ~StereoRectifier();

    // Maps for frames of width x height (the calibration scaled when its size differs); false
    // with the reason, and the previous maps dropped.
    bool Prepare(const StereoCalibration& calibration, int width, int height,
                 std::string& out_reason);
    // Whether the calibration gives maps at that frame size, asked before it is used or kept.
    static bool Usable(const StereoCalibration& calibration, int width, int height,
                       std::string& out_reason);
    bool IsReady() const { return mMaps != nullptr; }
    int width() const { return mMaps ? mWidth : 0; }
    int height() const { return mMaps ? mHeight : 0; }
    // The rectified eyes' focal length in their pixels (the crop's zoom included); 0 unprepared.
    double focalLength() const { return mMaps ? mFocalLength : 0.0; }

    // eye 0 = left, 1 = right; A,R,G,B in, A,R,G,B out, same size; false when not ready or the
    // size differs, dst untouched.
    bool Rectify(int eye, const ArgbView& src, uint8_t* dst, size_t dstRowBytes) const;
    // Both eyes as Rectify, shared between the caller and a thread of the rectifier's own (the
    // caller alone with one core); false and neither written when either would be refused.
    bool RectifyBoth(const ArgbView& left, uint8_t* leftDst, const ArgbView& right,
                     uint8_t* rightDst, size_t dstRowBytes);
    // Where a pixel of the camera's own frame lands in the rectified, cropped frame.
    bool RectifyPoint(int eye, double x, double y, double& out_x, double& out_y) const;

private:
    struct Maps;
    class Worker;

    bool Accepts(int eye, const ArgbView& src, const uint8_t* dst, size_t dstRowBytes) const;
    // Rows top to bottom (exclusive) of an eye.
    void Pass(int eye, const ArgbView& src, uint8_t* dst, size_t dstRowBytes, int top,
              int bottom) const;

    std::unique_ptr<Maps> mMaps;
    std::unique_ptr<Worker> mWorker; // started at the first RectifyBoth
    bool mOneThread = false;         // one core, or no thread to be had
    int mWidth = 0, mHeight = 0;
    double mFocalLength = 0.0;
};
