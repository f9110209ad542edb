#include "OutputFormat.h"

#include <linux/videodev2.h>

bool ParseOutputFormat(const std::string& in_name, OutputFormat* out_format)
{
    OutputFormat format;
    if (in_name == "yuyv")
        format = OutputFormat::kYUYV;
    else if (in_name == "i420")
        format = OutputFormat::kI420;
    else if (in_name == "argb")
        format = OutputFormat::kARGB;
    else if (in_name == "rgba")
        format = OutputFormat::kRGBA;
    else
        return false;
    if (out_format)
        *out_format = format;
    return true;
}

const char* OutputFormatName(OutputFormat in_format)
{
    switch (in_format) {
    case OutputFormat::kYUYV:
        return "yuyv";
    case OutputFormat::kI420:
        return "i420";
    case OutputFormat::kARGB:
        return "argb";
    case OutputFormat::kRGBA:
        return "rgba";
    case OutputFormat::kBGRA:
        return "bgra";
    }
    return "unknown";
}

uint32_t OutputFormatFourcc(OutputFormat in_format)
{
    switch (in_format) {
    case OutputFormat::kYUYV:
        return V4L2_PIX_FMT_YUYV;
    case OutputFormat::kI420:
        return V4L2_PIX_FMT_YUV420;
    case OutputFormat::kARGB:
        return V4L2_PIX_FMT_ARGB32; // 'BA24': bytes a, r, g, b
    case OutputFormat::kRGBA:
        return V4L2_PIX_FMT_RGBA32; // 'AB24': bytes r, g, b, a
    case OutputFormat::kBGRA:
        return V4L2_PIX_FMT_ABGR32; // 'AR24': bytes b, g, r, a
    }
    return 0;
}

size_t OutputRowBytes(OutputFormat in_format, int in_width)
{
    if (in_width <= 0)
        return 0;
    switch (in_format) {
    case OutputFormat::kI420:
        return size_t(in_width);
    case OutputFormat::kYUYV:
        return size_t(in_width) * 2;
    case OutputFormat::kARGB:
    case OutputFormat::kRGBA:
    case OutputFormat::kBGRA:
        break;
    }
    return size_t(in_width) * 4;
}

size_t OutputFrameBytes(OutputFormat in_format, int in_width, int in_height)
{
    if (in_height <= 0)
        return 0;
    // size_t holds INT_MAX * 4 * INT_MAX on the 64-bit targets we build for.
    static_assert(sizeof(size_t) >= 8, "frame sizes need a 64-bit size_t");
    const size_t planeBytes = OutputRowBytes(in_format, in_width) * size_t(in_height);
    if (in_format != OutputFormat::kI420 || planeBytes == 0)
        return planeBytes;
    // Each chroma plane covers 2 x 2 pixels a sample.
    return planeBytes + 2 * ((size_t(in_width) + 1) / 2) * ((size_t(in_height) + 1) / 2);
}
