#include "QImageDescription.h"

#include "CoreMachDebugLog.h"

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
