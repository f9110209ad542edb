// An image-description handle: what a compressed camera frame or a frame buffer holds.
#pragma once

#include "QGWorld.h"
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

class QImageDescription
{
public:
    QImageDescription() : mHandle(nullptr), mfOwnDispose(false) {}
    ~QImageDescription() { Destruct(); }
    QImageDescription(const QImageDescription&) = delete;
    QImageDescription& operator=(const QImageDescription&) = delete;

    bool Construct(ImageDescriptionHandle hImageDescription, bool ownDispose);
    bool Construct(PixMapHandle pixMap);
    // v = height, h = width; (0, 0) without a handle.
    Point Dimensions() const;
    void Destruct();

    ImageDescriptionHandle mHandle;
    bool mfOwnDispose;
};

bool import_QImageDescription();
