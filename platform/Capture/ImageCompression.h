// Image descriptions and decompression sequences: camera frames of one description decoded and
// scaled into a port, as the grabber's data hook hands them over.
#pragma once

#include "QuickDraw.h"

// The capture layer has no image descriptions of its own; this is the part the grab path reads.
struct ImageDescription
{
    OSType cType; // V4L2 fourcc of camera frames, or the pixel format of a frame buffer
    SInt16 width;
    SInt16 height;
    SInt16 depth;     // bits per pixel, 0 when compressed
    bool hasRowBytes; // the 'rowb' extension is present
    SInt32 rowBytes;  // its value, in host byte order
};
typedef ImageDescription* ImageDescriptionPtr;
typedef ImageDescriptionPtr* ImageDescriptionHandle;

ImageDescriptionHandle NewImageDescriptionHandle();
void DisposeImageDescriptionHandle(ImageDescriptionHandle handle);
// paramErr for a null pixel map or out pointer; *out_description is then null.
OSErr MakeImageDescriptionForPixMap(PixMapHandle pixMap, ImageDescriptionHandle* out_description);

typedef SInt32 ImageSequence;
typedef void* RgnHandle;
typedef UInt32 CodecFlags;
typedef UInt32 CodecQ;
typedef void* DecompressorComponent;

enum : CodecQ { codecNormalQuality = 0x200 };
enum : short { srcCopy = 0 };
#define bestSpeedCodec (reinterpret_cast<DecompressorComponent>(-1))

// Source rectangle to destination: a scale and the destination's offset.
struct MatrixRecord
{
    double scaleX, scaleY;
    double translateX, translateY;
};
typedef MatrixRecord* MatrixRecordPtr;

void RectMatrix(MatrixRecord* matrix, const Rect* srcRect, const Rect* dstRect);

// The frame described by desc (a whole frame when srcRect is null), mapped by the matrix, lands
// in port; the mode, mask, flags, accuracy and codec are accepted as the grab path passes them.
// paramErr for anything missing, a port that is not A,R,G,B or a destination outside it.
OSErr DecompressSequenceBegin(ImageSequence* seqID, ImageDescriptionHandle desc, GWorldPtr port,
                              GDHandle gdh, const Rect* srcRect, const MatrixRecord* matrix,
                              short mode, RgnHandle mask, CodecFlags flags, CodecQ accuracy,
                              DecompressorComponent codec);
// codecErr when the frame is dropped (corrupt, truncated, empty): the port is then untouched.
OSErr DecompressSequenceFrameS(ImageSequence seqID, const char* data, long dataSize,
                               CodecFlags inFlags, CodecFlags* outFlags, void* asyncCompletion);
OSErr CDSequenceEnd(ImageSequence seqID);

enum : OSErr { codecErr = -8960 };

bool import_ImageCompression();
