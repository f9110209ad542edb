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

} // namespace p3dtest
