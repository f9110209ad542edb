// Owns one sequence-grabber component and turns its plain-function callbacks into virtual
// calls on the object.
#pragma once

#include "QSGDeviceList.h"
#include "SequenceGrabber.h"

struct DialogRecord;
typedef DialogRecord* DialogPtr;
struct EventRecord;

class QSequenceGrabber
{
public:
    QSequenceGrabber();
    virtual ~QSequenceGrabber();
    QSequenceGrabber(const QSequenceGrabber&) = delete;
    QSequenceGrabber& operator=(const QSequenceGrabber&) = delete;

    // One compressed frame from the grabber; the base accepts and ignores it.
    virtual OSErr OnThisDataProc(SGChannel channel, char* data, long length, long* offset,
                                 long channelRefCon, long time, short writeType);
    // Nothing shows a grabber dialog; kept so a subclass could filter one.
    virtual bool OnThisModalDialogFilter(DialogPtr dialog, const EventRecord* event,
                                         short* itemHit);

    static SeqGrabComponent OpenComponent();
    OSErr OpenInitialize();
    void CloseIF();
    void Close();
    bool IsOpen() const { return mComponent != nullptr; }

    OSErr SetThisDataProc();
    static OSErr sDataProc(SGChannel channel, const UInt8* data, long length, UInt64 timeUs,
                           void* refCon);
    static bool sModalDialogFilter(DialogPtr dialog, const EventRecord* event, short* itemHit,
                                   long refCon);
    static bool DefaultWindowModalDialogFilter(DialogPtr dialog, const EventRecord* event,
                                               short* itemHit, long refCon);

    OSErr GetChannelDeviceList(SGChannel channel, long selectionFlags, QSGDeviceList& list) const;

    OSErr Stop();
    OSErr StartRecord();
    OSErr Prepare();
    OSErr Idle();
    // Frames kept for the caller to choose from (SGSetHoldFrames); kept over reopening.
    OSErr SetHoldFrames(int count);
    int HeldFrameTimes(UInt64* out_timesUs, int capacity) const;
    OSErr TakeHeldFrame(int n, UInt32* out_passedOver);
    OSErr SetGWorld(GWorldPtr port, GDHandle device);
    OSErr SetDataRef(const void* dataRef, long dataRefType, long flags);
    OSErr SetChannelUsage(SGChannel channel, long usage);
    OSErr SetChannelBounds(SGChannel channel, const Rect& bounds);
    OSErr SetChannelDevice(SGChannel channel, ConstStr255Param name);
    OSErr SetChannelDeviceInput(SGChannel channel, short input);
    OSErr ChannelChangedSource(SGChannel channel);
    OSErr BeginChannelSettingsChange(SGChannel channel);
    OSErr EndChannelSettingsChange(SGChannel channel);
    OSErr DisposeChannel(SGChannel channel);
    OSErr GetChannelSampleDescription(SGChannel channel, SGSampleDescription& description) const;
    OSErr GetChannelDeviceAndInputNames(SGChannel channel, StringPtr deviceName,
                                        StringPtr inputName, short* inputNumber) const;

    SeqGrabComponent mComponent;
    int mHoldFrames = 0;
};

bool import_QSequenceGrabber();
