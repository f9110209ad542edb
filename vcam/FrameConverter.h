// Converts broadcast frames (A, R, G, B bytes) into an output format. Everything a conversion
// needs is allocated when the converter is made, so converting a frame allocates nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "OutputFormat.h"

class FrameConverter
{
public:
    // YUYV needs an even width, I420 an even width and height; a converter for a size it cannot
    // handle is not valid.
    FrameConverter(OutputFormat in_format, int in_width, int in_height);

    bool IsValid() const;
    OutputFormat Format() const { return mFormat; }
    size_t OutputBytes() const;

    // One frame of in_width x in_height pixels, rows in_rowBytes apart, into out_frame, which
    // holds OutputBytes(). Does nothing when the converter is not valid.
    void Convert(const uint8_t* in_argb, size_t in_rowBytes, uint8_t* out_frame);

private:
    void ConvertI420(const uint8_t* in_argb, size_t in_rowBytes, uint8_t* out_frame);

    OutputFormat mFormat;
    int mWidth;
    int mHeight;
    std::vector<uint8_t> mRow; // scratch row for conversions that go through a second order
};
