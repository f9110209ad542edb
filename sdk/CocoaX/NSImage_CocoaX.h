// The application's named pictures. The project draws them itself: raster ones in code, at a
// natural size, once; vector ones as SVG resources (pictures/), which draw at any size.
#pragma once

#include <QImage>
#include <QString>

// The picture of that name ("iSightCamera.png": the camera icon of the camera views; the name
// of a vector picture, with or without ".svg": that picture at its natural size); a null image
// for a name the application has no picture of.
QImage NSImageNamed(const char* name);
// The name an image of NSImageNamed was asked for by; empty for any other image.
QString NSImageName(const QImage& image);

// Where the application's vector picture of that name and type ("svg") is, for drawing at
// another size; empty when there is none.
QString NSImageResourcePath(const char* name, const char* type);

bool import_NSImage_CocoaX();
