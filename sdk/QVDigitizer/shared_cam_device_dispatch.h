// How a video digitizer reaches the virtual camera device in the component: one export answers
// a table of the device's operations, as a component dispatch would. Digitizers include this
// header and resolve the export by name; the table only ever grows at its end.
#pragma once

#include "MacTypes.h"

extern "C" {

typedef struct OpaqueSharedCamDevice* SharedCamDeviceRef;

enum : UInt32 { kSharedCamDeviceDispatchVersion = 1 };

typedef struct SharedCamDeviceDispatch
{
    UInt32 version; // kSharedCamDeviceDispatchVersion
    UInt32 size;    // sizeof the table as the component was built

    // Null when the device cannot be made.
    SharedCamDeviceRef (*Construct)(void);
    void (*Destroy)(SharedCamDeviceRef device);
    Boolean (*Connect)(SharedCamDeviceRef device);
    void (*Disconnect)(SharedCamDeviceRef device);
    // name holds 256 bytes and receives a Pascal string.
    SInt32 (*GetDeviceName)(SharedCamDeviceRef device, StringPtr name, long n);
    void (*SetDeviceNameSuffix)(SharedCamDeviceRef device, const char* suffix);
    void (*GetMaxSrcRectFromDevice)(SharedCamDeviceRef device, Rect* rect);
    SInt32 (*FrameSizeBytes)(SharedCamDeviceRef device);
    SInt32 (*SetCompressionOnOff)(SharedCamDeviceRef device, int onOff);
    UInt8* (*GetCurrentFrameBufferPtr)(SharedCamDeviceRef device, int n);
    // 0 with the buffer locked, or -50; each buffer handed out is released exactly once.
    SInt32 (*GetFrame)(SharedCamDeviceRef device, UInt8* done, UInt8** buffer, long* size);
    SInt32 (*ReleaseCompressBuffer)(SharedCamDeviceRef device, UInt8* buffer);
    // When the broadcaster has started anew with a new channel file, lets go of the old one so
    // the next frame comes from the new. True when it did. Call it between frames only.
    Boolean (*ReopenIfReplaced)(SharedCamDeviceRef device);
} SharedCamDeviceDispatch;

typedef const SharedCamDeviceDispatch* (*SharedCamDeviceDispatchProc)(UInt32 version);

// the device's operations; null for a version this component does not know
const SharedCamDeviceDispatch* __public_vdig(UInt32 version);
}
