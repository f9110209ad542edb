// A borrowed frame of A,R,G,B pixels, the memory every stage of the eyes shares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

struct ArgbView
{
    const uint8_t* pixels = nullptr;
    size_t rowBytes = 0;
    int width = 0;
    int height = 0;
};

// Pixels there, a size, and rows long enough for it.
inline bool IsPicture(const ArgbView& view)
{
    return view.pixels != nullptr && view.width > 0 && view.height > 0 &&
           view.rowBytes >= size_t(view.width) * 4;
}

// A picture's rows packed, width * 4 bytes each, into out, whose memory is reused.
inline void CopyPacked(const ArgbView& view, std::vector<uint8_t>& out)
{
    const size_t rowBytes = size_t(view.width) * 4;
    out.resize(rowBytes * size_t(view.height));
    for (int y = 0; y < view.height; ++y)
        memcpy(&out[rowBytes * size_t(y)], view.pixels + view.rowBytes * size_t(y), rowBytes);
}
