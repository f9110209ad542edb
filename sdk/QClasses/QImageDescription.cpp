#include "QImageDescription.h"

#include "CoreMachDebugLog.h"

bool QImageDescription::Construct(ImageDescriptionHandle hImageDescription, bool ownDispose)
{
    Destruct();
    if (!VERIFY(mHandle = hImageDescription))
        return false;
    mfOwnDispose = ownDispose;
    return true;
}

bool QImageDescription::Construct(PixMapHandle pixMap)
{
    Destruct();
    ImageDescriptionHandle description = nullptr;
    if (VERIFY_ERR(MakeImageDescriptionForPixMap(pixMap, &description)) != 0)
        return false;
    mHandle = description;
    mfOwnDispose = true;
    if (!(*mHandle)->hasRowBytes) {
        // The decompressor needs the frame buffer's real row length, not one derived from width.
        (*mHandle)->rowBytes = SInt32(GetPixRowBytes(pixMap));
        (*mHandle)->hasRowBytes = VERIFY((*mHandle)->rowBytes > 0);
    }
    return true;
}

Point QImageDescription::Dimensions() const
{
    if (mHandle == nullptr || *mHandle == nullptr)
        return Point{0, 0};
    return Point{(*mHandle)->height, (*mHandle)->width};
}

void QImageDescription::Destruct()
{
    if (mHandle != nullptr && mfOwnDispose)
        DisposeImageDescriptionHandle(mHandle);
    mHandle = nullptr;
    mfOwnDispose = false;
}

bool import_QImageDescription()
{
    return import_CoreMachDebugLog();
}
