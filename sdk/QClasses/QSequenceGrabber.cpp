#include "QSequenceGrabber.h"

#include "CoreMachDebugLog.h"

QSequenceGrabber::QSequenceGrabber() : mComponent(nullptr) {}

QSequenceGrabber::~QSequenceGrabber()
{
    CloseIF();
}

OSErr QSequenceGrabber::OnThisDataProc(SGChannel, char*, long, long*, long, long, short)
{
    return 0;
}

bool QSequenceGrabber::OnThisModalDialogFilter(DialogPtr, const EventRecord*, short*)
{
    return false;
}

SeqGrabComponent QSequenceGrabber::OpenComponent()
{
    SeqGrabComponent component = nullptr;
    VERIFY_ERR(SGOpenComponent(&component));
    VERIFY(component);
    return component;
}

OSErr QSequenceGrabber::OpenInitialize()
{
    CloseIF();
    if (!VERIFY(mComponent = OpenComponent()))
        return paramErr;
    const OSErr err = OSErr(VERIFY_ERR(SGInitialize(mComponent)));
    return err != 0 ? err : OSErr(VERIFY_ERR(SGSetHoldFrames(mComponent, mHoldFrames)));
}

void QSequenceGrabber::CloseIF()
{
    if (mComponent != nullptr)
        VERIFY_ERR(SGCloseComponent(mComponent));
    mComponent = nullptr;
}

void QSequenceGrabber::Close()
{
    CloseIF();
}

OSErr QSequenceGrabber::SetThisDataProc()
{
    if (!VERIFY(IsOpen()))
        return paramErr;
    return OSErr(VERIFY_ERR(SGSetDataProc(mComponent, &sDataProc, this)));
}

OSErr QSequenceGrabber::sDataProc(SGChannel channel, const UInt8* data, long length, UInt64 timeUs,
                                  void* refCon)
{
    QSequenceGrabber* refCon_pThis = static_cast<QSequenceGrabber*>(refCon);
    if (!VERIFY(refCon_pThis))
        return paramErr;
    // The frame is only read; the old callback shape had it writable.
    return refCon_pThis->OnThisDataProc(channel, reinterpret_cast<char*>(const_cast<UInt8*>(data)),
                                        length, nullptr, 0, long(timeUs), 0);
}

bool QSequenceGrabber::sModalDialogFilter(DialogPtr dialog, const EventRecord* event,
                                          short* itemHit, long refCon)
{
    QSequenceGrabber* refCon_pThis = reinterpret_cast<QSequenceGrabber*>(refCon);
    if (!VERIFY(refCon_pThis))
        return false;
    return refCon_pThis->OnThisModalDialogFilter(dialog, event, itemHit);
}

bool QSequenceGrabber::DefaultWindowModalDialogFilter(DialogPtr, const EventRecord*, short*, long)
{
    return false;
}

OSErr QSequenceGrabber::GetChannelDeviceList(SGChannel channel, long selectionFlags,
                                             QSGDeviceList& list) const
{
    if (!VERIFY(channel))
        return paramErr;
    SGDeviceList platformList = nullptr;
    const OSErr err =
        OSErr(VERIFY_ERR(SGGetChannelDeviceList(channel, selectionFlags, &platformList)));
    list.Adopt(mComponent, err == 0 ? platformList : nullptr);
    return err;
}

// Each wrapper refuses a closed grabber or a missing channel before asking the platform.
#define CHECK_OPEN()                                                                               \
    if (!VERIFY(IsOpen()))                                                                         \
    return paramErr
#define CHECK_CHANNEL()                                                                            \
    if (!VERIFY(in_channel))                                                                       \
    return paramErr

OSErr QSequenceGrabber::Stop()
{
    CHECK_OPEN();
    return OSErr(VERIFY_ERR(SGStop(mComponent)));
}

OSErr QSequenceGrabber::StartRecord()
{
    CHECK_OPEN();
    return OSErr(VERIFY_ERR(SGStartRecord(mComponent)));
}

OSErr QSequenceGrabber::Prepare()
{
    CHECK_OPEN();
    return OSErr(VERIFY_ERR(SGPrepare(mComponent, false, true)));
}

OSErr QSequenceGrabber::Idle()
{
    CHECK_OPEN();
    return OSErr(VERIFY_ERR(SGIdle(mComponent)));
}

OSErr QSequenceGrabber::SetHoldFrames(int count)
{
    if (count < 0 || count > kSGMaxHeldFrames)
        return paramErr;
    if (mComponent != nullptr) {
        if (const OSErr err = OSErr(VERIFY_ERR(SGSetHoldFrames(mComponent, count))); err != 0)
            return err;
    }
    mHoldFrames = count;
    return 0;
}

int QSequenceGrabber::HeldFrameTimes(UInt64* out_timesUs, int capacity) const
{
    return SGGetHeldFrameTimes(mComponent, out_timesUs, capacity);
}

OSErr QSequenceGrabber::TakeHeldFrame(int n, UInt32* out_passedOver)
{
    CHECK_OPEN();
    return OSErr(VERIFY_ERR(SGTakeHeldFrame(mComponent, n, out_passedOver)));
}

OSErr QSequenceGrabber::SetGWorld(GWorldPtr port, GDHandle device)
{
    CHECK_OPEN();
    return OSErr(VERIFY_ERR(SGSetGWorld(mComponent, port, device)));
}

OSErr QSequenceGrabber::SetDataRef(const void* dataRef, long dataRefType, long flags)
{
    CHECK_OPEN();
    return OSErr(VERIFY_ERR(SGSetDataRef(mComponent, dataRef, dataRefType, flags)));
}

OSErr QSequenceGrabber::SetChannelUsage(SGChannel in_channel, long usage)
{
    CHECK_OPEN();
    CHECK_CHANNEL();
    return OSErr(VERIFY_ERR(SGSetChannelUsage(in_channel, usage)));
}

OSErr QSequenceGrabber::SetChannelBounds(SGChannel in_channel, const Rect& bounds)
{
    CHECK_OPEN();
    CHECK_CHANNEL();
    return OSErr(VERIFY_ERR(SGSetChannelBounds(in_channel, &bounds)));
}

OSErr QSequenceGrabber::SetChannelDevice(SGChannel in_channel, ConstStr255Param name)
{
    CHECK_OPEN();
    CHECK_CHANNEL();
    return OSErr(VERIFY_ERR(SGSetChannelDevice(in_channel, name)));
}

OSErr QSequenceGrabber::SetChannelDeviceInput(SGChannel in_channel, short input)
{
    CHECK_OPEN();
    CHECK_CHANNEL();
    return OSErr(VERIFY_ERR(SGSetChannelDeviceInput(in_channel, input)));
}

OSErr QSequenceGrabber::ChannelChangedSource(SGChannel in_channel)
{
    CHECK_OPEN();
    CHECK_CHANNEL();
    return OSErr(VERIFY_ERR(SGChangedSource(mComponent, in_channel)));
}

OSErr QSequenceGrabber::BeginChannelSettingsChange(SGChannel in_channel)
{
    CHECK_OPEN();
    CHECK_CHANNEL();
    return OSErr(VERIFY_ERR(SGSetChannelSettingsStateChanging(in_channel, 1)));
}

OSErr QSequenceGrabber::EndChannelSettingsChange(SGChannel in_channel)
{
    CHECK_OPEN();
    CHECK_CHANNEL();
    return OSErr(VERIFY_ERR(SGSetChannelSettingsStateChanging(in_channel, 2)));
}

OSErr QSequenceGrabber::DisposeChannel(SGChannel in_channel)
{
    CHECK_OPEN();
    CHECK_CHANNEL();
    return OSErr(VERIFY_ERR(SGDisposeChannel(mComponent, in_channel)));
}

OSErr QSequenceGrabber::GetChannelSampleDescription(SGChannel in_channel,
                                                    SGSampleDescription& description) const
{
    CHECK_OPEN();
    CHECK_CHANNEL();
    return OSErr(VERIFY_ERR(SGGetChannelSampleDescription(in_channel, &description)));
}

OSErr QSequenceGrabber::GetChannelDeviceAndInputNames(SGChannel in_channel, StringPtr deviceName,
                                                      StringPtr inputName, short* inputNumber) const
{
    CHECK_OPEN();
    CHECK_CHANNEL();
    return OSErr(VERIFY_ERR(
        SGGetChannelDeviceAndInputNames(in_channel, deviceName, inputName, inputNumber)));
}

bool import_QSequenceGrabber()
{
    return import_QSGDeviceList();
}
