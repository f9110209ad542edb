// A,R,G,B premultiplied pixels written as a PNG picture: 8-bit RGB when every pixel is opaque,
// RGBA (colour un-premultiplied) otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

bool WriteARGBPicture(const std::string& in_path, const uint8_t* in_argb, size_t in_width,
                      size_t in_height, size_t in_rowBytes);
