// The stereo window's broadcast control.
#pragma once

#include "NSUICamBroadcastControlFast.h"

class P3DBroadcastControl : public NSUICamBroadcastControlFast
{
    Q_OBJECT

public:
    explicit P3DBroadcastControl(QWidget* parent = nullptr);
    // Called once the window holding it is built.
    void awakeFromNib();
};
