// The command line of parallax3d-vcam.
#pragma once

#include <string>

#include "OutputFormat.h"

struct VCamOptions
{
    std::string device;    // --device NODE
    std::string output;    // --output PATH, "-" for standard output
    bool pipewire = false; // --pipewire: a PipeWire camera, alone or beside --device
    OutputFormat format = OutputFormat::kYUYV;
    long long frames = -1; // --frames N; -1 runs until stopped
    int width = 0;         // --size WxH: 640x480 or 1280x720; 0: what the broadcast offers
    int height = 0;
    std::string statsPath; // --stats FILE
    std::string nameSuffix;
    bool hasNameSuffix = false;
    bool help = false;
    bool version = false;
};

// Accepts "--name value" and "--name=value". False with a message naming the option or value
// it cannot use.
bool ParseVCamOptions(int argc, const char* const* argv, VCamOptions& out_options,
                      std::string& out_error);

std::string VCamUsage();
