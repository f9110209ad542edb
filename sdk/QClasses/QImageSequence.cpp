#include "QImageSequence.h"

#include "CoreMachDebugLog.h"

QImageSequence::~QImageSequence()
{
    DisposeIF();
}

OSErr QImageSequence::CDSequenceEnd()
{
    OSErr err = 0;
    // clang-format off
    if (mSeqID != 0)
        VERIFY_ERR(err=::CDSequenceEnd(mSeqID));
    // clang-format on
    mSeqID = 0;
    return err;
}

void QImageSequence::DisposeIF()
{
    CDSequenceEnd();
}

OSErr QImageSequence::DecompressSequenceFrameS(const char* data, long dataSize)
{
    return ::DecompressSequenceFrameS(mSeqID, data, dataSize, 0, nullptr, nullptr);
}

bool import_QImageSequence()
{
    return import_ImageCompression() && import_CoreMachDebugLog();
}
