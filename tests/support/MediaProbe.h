// What ffprobe says of a media file, for tests that read recordings back.
#pragma once

#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

#include "TestSupport.h"

namespace p3dtest {

// ffprobe's report on the file's streams and format, key=value lines; "" when it fails or says
// anything on its error output.
inline std::string Probe(const std::string& path)
{
    p3dtest::Child probe({p3dtest::FindProgram("ffprobe"), "-v", "error", "-count_frames",
                          "-show_streams", "-show_format", path});
    const int status = probe.wait(60000);
    EXPECT_EQ(status, 0) << probe.err();
    EXPECT_EQ(probe.err(), "");
    return status == 0 && probe.err().empty() ? probe.out() : "";
}

inline int Count(const std::string& text, const std::string& what)
{
    int count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

// A figure of the report's format (not stream) section.
inline double FormatNumber(const std::string& report, const std::string& key)
{
    const size_t at = report.find("\n" + key + "=", report.find("[FORMAT]"));
    return at == std::string::npos ? NAN : atof(report.c_str() + at + key.size() + 2);
}

// Frame n (from 0) of a file's video stream, decoded to A,R,G,B bytes; "" when it fails.
inline std::string DecodedFrame(const std::string& path, int stream, int n,
                                const std::string& scratch)
{
    const bool decoded =
        p3dtest::RunFfmpeg(p3dtest::FindProgram("ffmpeg").c_str(),
                           {"-i", path, "-map", "0:v:" + std::to_string(stream), "-vf",
                            "select=eq(n\\," + std::to_string(n) + ")", "-fps_mode", "passthrough",
                            "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "argb", scratch});
    return decoded ? p3dtest::ReadFile(scratch) : std::string();
}

// Pictures of A,R,G,B bytes, two eyes of width pixels put side by side, left first.
inline std::string SideBySide(const std::string& left, const std::string& right, int width)
{
    const size_t row = size_t(width) * 4;
    std::string both;
    for (size_t at = 0; at + row <= left.size() && at + row <= right.size(); at += row)
        both.append(left, at, row).append(right, at, row);
    return both;
}

// The peak signal-to-noise ratio of the colours (alpha aside) of two pictures of A,R,G,B bytes,
// in dB; 0 when their sizes differ, 99 when they are equal.
inline double Psnr(const std::string& a, const std::string& b)
{
    if (a.size() != b.size() || a.empty())
        return 0;
    double squares = 0;
    for (size_t i = 0; i < a.size(); ++i)
        if (i % 4 != 0) {
            const double d = double(uint8_t(a[i])) - double(uint8_t(b[i]));
            squares += d * d;
        }
    return squares == 0 ? 99
                        : 10 * std::log10(255.0 * 255.0 / (squares / double(a.size() / 4 * 3)));
}

} // namespace p3dtest
