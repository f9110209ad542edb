// The application's named pictures. The project draws them itself, at a natural size, once.
#pragma once

#include <QImage>

// The picture of that name ("iSightCamera.png": the camera icon of the camera views); a null
// image for a name the application has no picture of.
QImage NSImageNamed(const char* name);

bool import_NSImage_CocoaX();
