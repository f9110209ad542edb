#include "ARGBPicture.h"

#include <algorithm>
#include <cstdio>
#include <png.h>
#include <vector>

namespace {

struct Picture
{
    const uint8_t* argb;
    size_t width;
    size_t height;
    size_t rowBytes;
    bool opaque;
};

bool IsOpaque(const Picture& in_picture)
{
    for (size_t y = 0; y < in_picture.height; ++y)
        for (size_t x = 0; x < in_picture.width; ++x)
            if (in_picture.argb[y * in_picture.rowBytes + x * 4] != 255)
                return false;
    return true;
}

// libpng reports failure by longjmp: nothing here lives across it but what it is given.
bool Encode(png_structp io_png, png_infop io_info, FILE* io_file, const Picture& in_picture,
            png_byte* io_row)
{
    if (setjmp(png_jmpbuf(io_png)) != 0)
        return false;
    png_init_io(io_png, io_file);
    png_set_IHDR(io_png, io_info, png_uint_32(in_picture.width), png_uint_32(in_picture.height), 8,
                 in_picture.opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(io_png, io_info);
    const size_t channels = in_picture.opaque ? 3 : 4;
    for (size_t y = 0; y < in_picture.height; ++y) {
        const uint8_t* from = in_picture.argb + y * in_picture.rowBytes;
        for (size_t x = 0; x < in_picture.width; ++x) {
            const unsigned a = from[x * 4];
            png_byte* to = io_row + x * channels;
            for (size_t c = 0; c < 3; ++c)
                to[c] = a ? png_byte(std::min(255u, (from[x * 4 + 1 + c] * 255u + a / 2) / a)) : 0;
            if (channels == 4)
                to[3] = png_byte(a);
        }
        png_write_row(io_png, io_row);
    }
    png_write_end(io_png, nullptr);
    return true;
}

} // namespace

bool WriteARGBPicture(const std::string& in_path, const uint8_t* in_argb, size_t in_width,
                      size_t in_height, size_t in_rowBytes)
{
    Picture picture{in_argb, in_width, in_height, in_rowBytes, true};
    picture.opaque = IsOpaque(picture);
    FILE* file = fopen(in_path.c_str(), "wbe");
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<png_byte> row(in_width * 4);
    const bool ok = png && info && Encode(png, info, file, picture, row.data());
    png_destroy_write_struct(&png, &info);
    return fclose(file) == 0 && ok;
}
