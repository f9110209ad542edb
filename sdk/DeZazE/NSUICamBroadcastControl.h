// The broadcast control: the two switches of broadcasting (on or off, and whether other programs
// may connect), kept in the preferences. The channel work is the writer's; this view holds the
// switches and decides when to start and stop.
#pragma once

#include "CamBroadcastWriter.h"
#include "NSUITargetActionView.h"

class QCheckBox;

class NSUICamBroadcastControl : public NSUITargetActionView
{
    Q_OBJECT

public:
    explicit NSUICamBroadcastControl(QWidget* parent = nullptr);
    ~NSUICamBroadcastControl() override;

    bool areCameraConnectionAllowed() const;
    bool isBroadcastEnabled() const;
    // Sets the rebroadcast switch, then acts on it as a click would.
    void setBroadcastEnabled(bool in_enabled);
    bool isBroadcasting() const;
    void setComponentAllowCameraConnections(bool in_allow);

    // The switches' actions.
    void cameraConnectChanged(QObject* sender);
    void broadcastButtonChanged(QObject* sender);
    void toggleBroadcastButtonAction(QObject* sender);

    // Sent by the owning document: the switches take their stored values and broadcasting
    // starts as they say; at the end both are stored and broadcasting stops.
    void applicationDidFinishLaunching(QObject* sender);
    void applicationWillTerminate(QObject* sender);
    virtual void startBroadcasting();
    virtual void stopBroadcasting();

    void broadcastFrame(const CoreGraphics::BitmapContext* in_bitmap);

    // The channel side: buffers, the bitmap and drawing paths.
    CamBroadcastWriter& writer() { return mWriter; }
    QCheckBox* allowCameraButton() const { return _allowCameraButton; }
    QCheckBox* rebroadcastButton() const { return _rebroadcastButton; }

protected:
    QCheckBox* _allowCameraButton; // children of this view
    QCheckBox* _rebroadcastButton;
    CamBroadcastWriter mWriter;
};

bool import_NSUICamBroadcastControl();
