// Decompression sequences: camera frames of one description decoded and scaled into a port.
#pragma once

#include "QImageDescription.h"

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
// paramErr for anything missing or a destination outside the port.
OSErr DecompressSequenceBegin(ImageSequence* seqID, ImageDescriptionHandle desc, GWorldPtr port,
                              GDHandle gdh, const Rect* srcRect, const MatrixRecord* matrix,
                              short mode, RgnHandle mask, CodecFlags flags, CodecQ accuracy,
                              DecompressorComponent codec);
// codecErr when the frame is dropped (corrupt, truncated, empty): the port is then untouched.
OSErr DecompressSequenceFrameS(ImageSequence seqID, const char* data, long dataSize,
                               CodecFlags inFlags, CodecFlags* outFlags, void* asyncCompletion);
OSErr CDSequenceEnd(ImageSequence seqID);

enum : OSErr { codecErr = -8960 };

class QImageSequence
{
public:
    QImageSequence() : mSeqID(0) {}
    virtual ~QImageSequence();
    QImageSequence(const QImageSequence&) = delete;
    QImageSequence& operator=(const QImageSequence&) = delete;

    OSErr CDSequenceEnd();
    OSErr SequenceEnd() { return CDSequenceEnd(); }
    void DisposeIF();
    OSErr DecompressSequenceFrameS(const char* data, long dataSize);

    ImageSequence mSeqID;
};

bool import_QImageSequence();
