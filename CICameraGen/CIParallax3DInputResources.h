// The files the camera plug-in carries inside itself: hosts load every file in a frei0r folder,
// so nothing may sit beside the plug-in. Generated at build time from CICameraGen/resources.
#pragma once

#include <cstddef>

struct CIParallax3DInputResource
{
    const unsigned char* bytes;
    size_t size;
};

// The resource of that name and type carried inside the plug-in; {nullptr, 0} when none.
// Names and types match exactly, case included: "CISpyglassInput" "png", "CIKernel" "cikernel".
// The bytes stay valid for the life of the plug-in and are followed by a zero byte that size
// does not count, so text resources can be read as C strings.
CIParallax3DInputResource CIParallax3DInputFindResource(const char* name, const char* type);
