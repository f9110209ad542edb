#include "PNGDecoder.h"

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include <png.h>

#include "Diagnostics.h"

namespace CoreImage {

namespace {

// Deflate never expands more than 1032 to 1: image data larger than that multiple of the
// whole input cannot be there, so such a header is refused before anything is allocated.
constexpr size_t kMaxInflateRatio = 1032;

// Everything the libpng callbacks and the jump target share. It lives in the caller's frame,
// outside the code that may be jumped over, and holds no object with a destructor.
struct ReadState
{
    const UInt8* data;
    size_t size;
    size_t position;
    char message[160];
};

void OnError(png_structp png, png_const_charp message)
{
    auto* state = static_cast<ReadState*>(png_get_error_ptr(png));
    std::snprintf(state->message, sizeof state->message, "%s", message ? message : "error");
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp)
{
    // Warnings (unknown chunks, bad gamma values) do not stop the image.
}

void OnRead(png_structp png, png_bytep into, size_t length)
{
    auto* state = static_cast<ReadState*>(png_get_io_ptr(png));
    if (length > state->size - state->position)
        png_error(png, "data ends early");
    std::memcpy(into, state->data + state->position, length);
    state->position += length;
}

// Exact round(c a / 255): c a / 255 never has a fraction of one half.
inline UInt8 Premultiply(unsigned c, unsigned a)
{
    return UInt8((c * a + 127) / 255);
}

// Straight R,G,B,A to premultiplied A,R,G,B, in place.
void ToPremultipliedARGB(UInt8* row, size_t width)
{
    for (size_t x = 0; x < width; ++x, row += 4) {
        const unsigned r = row[0], g = row[1], b = row[2], a = row[3];
        row[0] = UInt8(a);
        row[1] = Premultiply(r, a);
        row[2] = Premultiply(g, a);
        row[3] = Premultiply(b, a);
    }
}

// No automatic object with a destructor lives in this frame or the ones libpng jumps out of;
// the buffers belong to the caller.
// Returns 0 on success, 1 when libpng failed, 2 for a header that is refused (message set).
int ReadImage(png_structp png, png_infop info, ReadState* state, DecodedImage* out,
              std::vector<png_bytep>* rows)
{
    if (setjmp(png_jmpbuf(png)))
        return 1;

    png_set_user_limits(png, kMaxPNGDimension, kMaxPNGDimension);
    // Ancillary chunks are small; a huge one is an attack on memory, not an image.
    png_set_chunk_malloc_max(png, 8u << 20);
    png_set_read_fn(png, state, OnRead);
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, &interlace, nullptr, nullptr);
    const size_t channels = png_get_channels(png, info);
    // Stored bytes of one row, without filter bytes; dimensions are within the limit already,
    // so none of this overflows.
    const size_t storedRow = (size_t(width) * channels * size_t(bitDepth) + 7) / 8;
    if (width == 0 || height == 0 || width > kMaxPNGDimension || height > kMaxPNGDimension) {
        std::snprintf(state->message, sizeof state->message, "%u x %u is out of bounds",
                      unsigned(width), unsigned(height));
        return 2;
    }
    if (storedRow * height / kMaxInflateRatio > state->size) {
        std::snprintf(state->message, sizeof state->message,
                      "%u x %u needs more data than the %zu bytes given", unsigned(width),
                      unsigned(height), state->size);
        return 2;
    }

    // Everything to 8-bit R,G,B,A: palette and low grey depths expanded, tRNS to alpha,
    // 16 bits rounded to nearest rather than truncated.
    png_set_expand(png);
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t(width) * 4) {
        std::snprintf(state->message, sizeof state->message, "unexpected row layout");
        return 2;
    }

    out->width = width;
    out->height = height;
    out->bytesPerRow = size_t(width) * 4;
    out->pixels.resize(out->bytesPerRow * height);
    rows->resize(height);
    for (size_t y = 0; y < height; ++y)
        (*rows)[y] = out->pixels.data() + y * out->bytesPerRow;
    png_read_image(png, rows->data());
    png_read_end(png, nullptr);
    return 0;
}

} // namespace

bool DecodePNG(const UInt8* data, size_t size, DecodedImage& out)
{
    out = DecodedImage();
    if (!data || size < 8 || png_sig_cmp(data, 0, 8) != 0) {
        DIAG_REPORT("DecodePNG: %zu bytes are not PNG data", data ? size : 0);
        return false;
    }

    ReadState state{data, size, 0, {}};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, OnError, OnWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!DIAG_CHECK(info != nullptr)) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }

    // Both buffers live out here, so a jump out of libpng leaves nothing to destroy.
    std::vector<png_bytep> rows;
    int result = 1;
    try {
        result = ReadImage(png, info, &state, &out, &rows);
    } catch (const std::bad_alloc&) {
        std::snprintf(state.message, sizeof state.message, "out of memory");
    }
    png_destroy_read_struct(&png, &info, nullptr);

    if (result != 0) {
        DIAG_REPORT("DecodePNG: refused %zu bytes of PNG data: %s", size, state.message);
        out = DecodedImage();
        return false;
    }
    for (size_t y = 0; y < out.height; ++y)
        ToPremultipliedARGB(out.pixels.data() + y * out.bytesPerRow, out.width);
    return true;
}

} // namespace CoreImage

bool import_PNGDecoder()
{
    return true;
}
