// The About box: a skinned window that closes on a click that does not move it; one that
// deletes on close is freed by that click.
#pragma once

#include "PDFSkinWindow.h"

class PDFSkinAboutBox : public PDFSkinWindow
{
public:
    explicit PDFSkinAboutBox(QWidget* parent = nullptr) : PDFSkinWindow(parent) {}

    void windowMouseMoveSize_SingleClick() override { close(); }
};
