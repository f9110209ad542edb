// The pixel formats the virtual camera writes, with their V4L2 codes and frame sizes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum class OutputFormat {
    kYUYV, // Y0 U Y1 V, BT.601 limited range: what every camera consumer reads
    kI420, // planes of Y, then U and V at half width and height; BT.601 limited range too
    kARGB, // A, R, G, B bytes: the broadcast frame as it is
    kRGBA, // R, G, B, A bytes
    kBGRA, // B, G, R, A bytes: PipeWire's BGRx; not offered on the command line
};

// "yuyv", "i420", "argb" or "rgba"; false for anything else.
bool ParseOutputFormat(const std::string& in_name, OutputFormat* out_format);
const char* OutputFormatName(OutputFormat in_format);
// V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_YUV420 ('YU12'), V4L2_PIX_FMT_ARGB32 ('BA24'),
// V4L2_PIX_FMT_RGBA32 ('AB24') or V4L2_PIX_FMT_ABGR32 ('AR24').
uint32_t OutputFormatFourcc(OutputFormat in_format);
// The bytes of a row of the first plane, as V4L2 states it (the luma plane for I420).
size_t OutputRowBytes(OutputFormat in_format, int in_width);
size_t OutputFrameBytes(OutputFormat in_format, int in_width, int in_height);
