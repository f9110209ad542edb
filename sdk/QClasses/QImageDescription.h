// An image-description handle: what a compressed camera frame or a frame buffer holds.
#pragma once

#include "ImageCompression.h"
#include "QGWorld.h"

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
