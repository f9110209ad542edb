// The sequence grabber over V4L2: a grabber with one video channel that captures from one input
// of one camera into memory-mapped buffers and hands each compressed frame to a data callback
// from SGIdle, on the calling thread. Statuses: 0, paramErr for a missing grabber, channel or
// argument, and negative errno values for what the device refused.
#pragma once

#include <cstdint>

#include "MacTypes.h"
#include "QuickDraw.h"

struct SeqGrabRecord;
struct SGChannelRecord;
typedef SeqGrabRecord* SeqGrabComponent;
typedef SGChannelRecord* SGChannel;

enum : long {
    seqGrabRecord = 1,
    seqGrabDontMakeMovie = 32,
    sgDeviceListIncludeInputs = 4,
};

// Names are Pascal strings of at most 63 bytes; longer device and input names are cut.
struct SGDeviceInputName
{
    Str63 name;
};
struct SGDeviceInputListRecord
{
    SInt16 count;
    SGDeviceInputName* entry;
};
typedef SGDeviceInputListRecord** SGDeviceInputList;
struct SGDeviceName
{
    Str63 name;
    SGDeviceInputList inputs; // null for a device without inputs
};
struct SGDeviceListRecord
{
    SInt16 count;
    SGDeviceName* entry;
};
typedef SGDeviceListRecord** SGDeviceList;

// What the channel negotiated with its device.
struct SGSampleDescription
{
    OSType fourcc; // V4L2 pixel format
    SInt16 width;
    SInt16 height;
};

// One compressed frame, valid only during the call; time in microseconds of the device clock.
// The callback may stop the grabber or dispose its channel, but not close the grabber.
typedef OSErr (*SGDataProcPtr)(SGChannel channel, const UInt8* data, long length,
                               UInt64 timeMicroseconds, void* refCon);

OSErr SGOpenComponent(SeqGrabComponent* out_component);
// Disposes the component's channel too. Null is tolerated.
OSErr SGCloseComponent(SeqGrabComponent component);
OSErr SGInitialize(SeqGrabComponent component);
// Only no data reference with seqGrabDontMakeMovie is supported: frames go to the callback.
OSErr SGSetDataRef(SeqGrabComponent component, const void* dataRef, long dataRefType, long flags);
OSErr SGSetDataProc(SeqGrabComponent component, SGDataProcPtr proc, void* refCon);
OSErr SGSetGWorld(SeqGrabComponent component, GWorldPtr port, GDHandle device);
GWorldPtr SGGetGWorld(SeqGrabComponent component);

// A video channel on the first capture device (the default camera), input 0. One per grabber.
OSErr SGNewVideoChannel(SeqGrabComponent component, SGChannel* out_channel);
OSErr SGDisposeChannel(SeqGrabComponent component, SGChannel channel);
// The first device whose name equals the Pascal string name.
OSErr SGSetChannelDevice(SGChannel channel, ConstStr255Param name);
OSErr SGSetChannelDeviceInput(SGChannel channel, short input);
OSErr SGSetChannelSettingsStateChanging(SGChannel channel, UInt32 flags);
OSErr SGChangedSource(SeqGrabComponent component, SGChannel channel);
// Negotiates the format at the bounds' size; the device may answer another size.
OSErr SGSetChannelBounds(SGChannel channel, const Rect* bounds);
OSErr SGSetChannelUsage(SGChannel channel, long usage);
// Any of the out arguments may be null.
OSErr SGGetChannelDeviceAndInputNames(SGChannel channel, StringPtr deviceName, StringPtr inputName,
                                      short* inputNumber);
OSErr SGGetChannelSampleDescription(SGChannel channel, SGSampleDescription* out_description);
// Every capture device with its inputs (flags as the caller passes them; the inputs are always
// included). Dispose the list with SGDisposeDeviceList.
OSErr SGGetChannelDeviceList(SGChannel channel, long flags, SGDeviceList* out_list);
OSErr SGDisposeDeviceList(SeqGrabComponent component, SGDeviceList list);

OSErr SGPrepare(SeqGrabComponent component, Boolean prepareForPlay, Boolean prepareForRecord);
OSErr SGStartRecord(SeqGrabComponent component);
// Ends streaming and frees the buffers; the channel stays on its device.
OSErr SGStop(SeqGrabComponent component);
// Delivers every frame that is ready, then returns. A camera that went away (ENODEV, EIO)
// closes the channel: the status is then the error, and every later call on the channel
// answers it until the channel is disposed.
OSErr SGIdle(SeqGrabComponent component);

// Holding: with a count above 0, SGIdle hands no frame to the callback but keeps the newest
// count frames dequeued (their buffers out of the driver's queue), so that a caller pairing two
// cameras can choose which to decode. 0, the default, delivers every frame from SGIdle.
// At most kSGMaxHeldFrames: one buffer always stays with the driver to be filled.
constexpr int kSGMaxHeldFrames = 3;
OSErr SGSetHoldFrames(SeqGrabComponent component, int count);
// The capture times of the frames held, oldest first; the number written (at most capacity).
int SGGetHeldFrameTimes(SeqGrabComponent component, UInt64* out_timesUs, int capacity);
// Hands held frame n to the callback, then gives it and every older one back to the driver;
// newer ones stay held. out_passedOver (may be null): the frames given back undelivered since
// the last take, which no caller will see.
OSErr SGTakeHeldFrame(SeqGrabComponent component, int n, UInt32* out_passedOver);

// The device list built from the seam, for diagnostics and the cameras tool.
OSErr SGNewDeviceList(SGDeviceList* out_list);
