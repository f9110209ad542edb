// The broadcast control with the drawing path: while broadcasting, one bitmap context and one
// image context over each channel buffer, so a picture is rendered straight into the channel.
#pragma once

#include "NSUICamBroadcastControl.h"

class NSUICamBroadcastControlFast : public NSUICamBroadcastControl
{
    Q_OBJECT

public:
    explicit NSUICamBroadcastControlFast(QWidget* parent = nullptr);
    ~NSUICamBroadcastControlFast() override;

    void startBroadcasting() override;
    void stopBroadcasting() override;

    // One frame: beginSwitchContexts, a render into its result when there is one,
    // endSwitchContexts.
    CIContext* currentCIContext() const { return mWriter.currentCIContext(); }
    CIContext* beginSwitchContexts() { return mWriter.beginSwitchContexts(); }
    void endSwitchContexts() { mWriter.endSwitchContexts(); }
};

bool import_NSUICamBroadcastControlFast();
