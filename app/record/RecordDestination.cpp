#include "RecordDestination.h"

#include <algorithm>
#include <cctype>

#include "SrtCaller.h"

namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

} // namespace

bool ParseRecordDestination(const std::string& in_text, RecordLayout in_layout,
                            RecordDestination& out_destination, std::string& out_message)
{
    out_destination = {};
    if (in_text.empty()) {
        out_message = "No file or URL to record to";
        return false;
    }
    const size_t scheme = in_text.find("://");
    if (scheme != std::string::npos) {
        const std::string name = Lower(in_text.substr(0, scheme));
        SrtAddress srt;
        if (name == "srt") {
            if (!ParseSrtUrl(in_text, srt, out_message))
                return false;
            out_destination.format = "mpegts";
        } else if (name == "rtmp")
            out_destination.format = "flv";
        else {
            out_message = "Cannot stream to " + name + "://: only srt:// and rtmp:// URLs";
            return false;
        }
        out_destination.isStream = true;
    } else {
        const size_t slash = in_text.find_last_of('/');
        const size_t dot = in_text.find_last_of('.');
        const bool hasExtension =
            dot != std::string::npos && (slash == std::string::npos || dot > slash);
        const std::string extension = hasExtension ? Lower(in_text.substr(dot)) : ".mkv";
        if (extension == ".mkv")
            out_destination.format = "matroska";
        else if (extension == ".mp4")
            out_destination.format = "mp4";
        else {
            out_message = "Cannot record to a " + extension + " file: .mkv or .mp4";
            return false;
        }
    }
    if (in_layout == RecordLayout::TwoStreams &&
        out_destination.format != std::string("matroska")) {
        out_message = "The two eyes as two streams need a Matroska (.mkv) file";
        return false;
    }
    out_destination.location = in_text;
    return true;
}
