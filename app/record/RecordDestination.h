// Where a recording goes, from what the user typed: a file, its container by the extension, or a
// streaming server's URL.
#pragma once

#include <string>

#include "RecordSettings.h"

struct RecordDestination
{
    std::string location;         // the path or the URL as given
    const char* format = nullptr; // libavformat's muxer: matroska, mp4, mpegts, flv
    bool isStream = false;
};

// A file ending .mkv (or no extension) or .mp4, an srt:// or rtmp:// URL; the two-stream layout
// only to Matroska. False with the reason for the user otherwise.
bool ParseRecordDestination(const std::string& in_text, RecordLayout in_layout,
                            RecordDestination& out_destination, std::string& out_message);
