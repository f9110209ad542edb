// The About box: a skinned window that goes away on a click that does not move it.
#pragma once

#include "PDFSkinWindow.h"

class PDFSkinAboutBox : public PDFSkinWindow
{
public:
    explicit PDFSkinAboutBox(QWidget* parent = nullptr) : PDFSkinWindow(parent) {}

    void windowMouseMoveSize_SingleClick() override { hide(); }
};
