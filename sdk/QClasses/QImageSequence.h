// One decompression sequence, ended when its holder goes.
#pragma once

#include "ImageCompression.h"

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
