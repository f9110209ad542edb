// A skinned window: borderless and transparent, shaped by its picture, moved by dragging
// anywhere and resized from its bottom-right corner.
#pragma once

#include "NSAlphaWindow.h"

class PDFSkinWindow : public NSAlphaWindowWithShadow
{
public:
    explicit PDFSkinWindow(QWidget* parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

bool import_PDFSkinWindow();
