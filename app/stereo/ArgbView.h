// A borrowed frame of A,R,G,B pixels, the memory every stage of the eyes shares.
#pragma once

#include <cstddef>
#include <cstdint>

struct ArgbView
{
    const uint8_t* pixels = nullptr;
    size_t rowBytes = 0;
    int width = 0;
    int height = 0;
};
