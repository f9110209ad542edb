#include "ImageCompression.h"

#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "FrameDecompressor.h"

ImageDescriptionHandle NewImageDescriptionHandle()
{
    return new ImageDescriptionPtr(new ImageDescription{});
}

void DisposeImageDescriptionHandle(ImageDescriptionHandle handle)
{
    if (handle == nullptr)
        return;
    delete *handle;
    delete handle;
}

OSErr MakeImageDescriptionForPixMap(PixMapHandle pixMap, ImageDescriptionHandle* out_description)
{
    if (out_description != nullptr)
        *out_description = nullptr;
    if (pixMap == nullptr || *pixMap == nullptr || out_description == nullptr)
        return paramErr;
    const PixMap& map = **pixMap;
    ImageDescriptionHandle handle = NewImageDescriptionHandle();
    (*handle)->cType = map.pixelFormat;
    (*handle)->width = SInt16(map.bounds.right - map.bounds.left);
    (*handle)->height = SInt16(map.bounds.bottom - map.bounds.top);
    (*handle)->depth = map.pixelSize;
    *out_description = handle;
    return 0;
}

void RectMatrix(MatrixRecord* matrix, const Rect* srcRect, const Rect* dstRect)
{
    const double srcWidth = srcRect->right - srcRect->left;
    const double srcHeight = srcRect->bottom - srcRect->top;
    matrix->scaleX = srcWidth != 0 ? (dstRect->right - dstRect->left) / srcWidth : 1;
    matrix->scaleY = srcHeight != 0 ? (dstRect->bottom - dstRect->top) / srcHeight : 1;
    matrix->translateX = dstRect->left - srcRect->left * matrix->scaleX;
    matrix->translateY = dstRect->top - srcRect->top * matrix->scaleY;
}

namespace {

// Open sequences, and ended ones kept so the next begin reuses their scratch memory.
struct Sequences
{
    std::map<ImageSequence, std::unique_ptr<Capture::FrameDecompressor>> open;
    std::vector<std::unique_ptr<Capture::FrameDecompressor>> spare;
    ImageSequence next = 1;
};

Sequences& TheSequences()
{
    static Sequences sequences;
    return sequences;
}

} // namespace

OSErr DecompressSequenceBegin(ImageSequence* seqID, ImageDescriptionHandle desc, GWorldPtr port,
                              GDHandle, const Rect* srcRect, const MatrixRecord* matrix, short,
                              RgnHandle, CodecFlags, CodecQ, DecompressorComponent)
{
    if (seqID != nullptr)
        *seqID = 0;
    if (seqID == nullptr || desc == nullptr || *desc == nullptr || port == nullptr ||
        matrix == nullptr)
        return paramErr;
    const ImageDescription& source = **desc;
    const Rect whole = {0, 0, source.height, source.width};
    const Rect& from = srcRect != nullptr ? *srcRect : whole;
    const long left = lround(from.left * matrix->scaleX + matrix->translateX);
    const long top = lround(from.top * matrix->scaleY + matrix->translateY);
    const long right = lround(from.right * matrix->scaleX + matrix->translateX);
    const long bottom = lround(from.bottom * matrix->scaleY + matrix->translateY);
    const PixMap& map = port->pixMap;
    const long portWidth = map.bounds.right - map.bounds.left;
    const long portHeight = map.bounds.bottom - map.bounds.top;
    // Only whole frames into A,R,G,B ports, the decompressor's one order, and never a pixel
    // outside the port.
    if (map.pixelFormat != k32ARGBPixelFormat || left < 0 || top < 0 || right > portWidth ||
        bottom > portHeight || right <= left || bottom <= top)
        return paramErr;

    Capture::FrameSource frameSource;
    frameSource.width = source.width;
    frameSource.height = source.height;
    frameSource.fourcc = source.cType;
    Capture::FrameDestination destination;
    destination.base = reinterpret_cast<UInt8*>(map.baseAddr) + top * map.rowBytes + left * 4;
    destination.rowBytes = size_t(map.rowBytes);
    destination.width = int(right - left);
    destination.height = int(bottom - top);

    Sequences& sequences = TheSequences();
    std::unique_ptr<Capture::FrameDecompressor> decompressor;
    if (!sequences.spare.empty()) {
        decompressor = std::move(sequences.spare.back());
        sequences.spare.pop_back();
    } else {
        decompressor = std::make_unique<Capture::FrameDecompressor>();
    }
    const bool configured = decompressor->configure(frameSource, destination);
    if (!configured) {
        sequences.spare.push_back(std::move(decompressor));
        return paramErr;
    }
    const ImageSequence id = sequences.next;
    sequences.next = id == INT32_MAX ? 1 : id + 1;
    sequences.open[id] = std::move(decompressor);
    *seqID = id;
    return 0;
}

OSErr DecompressSequenceFrameS(ImageSequence seqID, const char* data, long dataSize, CodecFlags,
                               CodecFlags* outFlags, void*)
{
    if (outFlags != nullptr)
        *outFlags = 0;
    auto found = TheSequences().open.find(seqID);
    if (found == TheSequences().open.end() || data == nullptr || dataSize < 0)
        return paramErr;
    return found->second->decompress(reinterpret_cast<const UInt8*>(data), size_t(dataSize))
               ? OSErr(0)
               : OSErr(codecErr);
}

OSErr CDSequenceEnd(ImageSequence seqID)
{
    Sequences& sequences = TheSequences();
    auto found = sequences.open.find(seqID);
    if (found == sequences.open.end())
        return paramErr;
    sequences.spare.push_back(std::move(found->second));
    sequences.open.erase(found);
    return 0;
}

bool import_ImageCompression()
{
    return import_FrameDecompressor();
}
