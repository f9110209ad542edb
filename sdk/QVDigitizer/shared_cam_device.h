// The virtual camera device a video digitizer drives: it names itself, states its source
// rectangle, and hands out the current broadcast frame under that buffer's lock.
#pragma once

#include <cstddef>

#include "MacTypes.h"
#include "shared_camera_buffer.h"

typedef SInt32 ComponentResult;

class SharedCamDevice
{
public:
    static constexpr SInt32 kFrameSizeBytes = kSharedCameraFrameSizeBytes;
    static constexpr size_t kDeviceNameSize = 72;

    SharedCamDevice();
    ~SharedCamDevice();
    SharedCamDevice(const SharedCamDevice&) = delete;
    SharedCamDevice& operator=(const SharedCamDevice&) = delete;

    bool Connect();
    void Disconnect();

    ComponentResult GetDeviceName(StringPtr out_name, long in_n) const;
    // A suffix longer than the name has room for is cut at a character boundary.
    void SetDeviceNameSuffix(const char* in_suffix);
    void GetMaxSrcRectFromDevice(Rect* out_rect) const;
    SInt32 FrameSizeBytes() const { return kFrameSizeBytes; }
    ComponentResult SetCompressionOnOff(int in_onOff);

    UInt8* GetCurrentFrameBufferPtr(int in_n = 0) const;
    // On success the buffer stays locked until ReleaseCompressBuffer.
    ComponentResult GetFrame(UInt8* out_done, UInt8** out_buffer, long* out_size);
    ComponentResult ReleaseCompressBuffer(UInt8* in_buffer);

    SInt32 FrameCount() const { return _frameCount; }
    int CompressionOnOff() const { return _compressionOnOff; }

private:
    char _deviceName[kDeviceNameSize];
    UInt8* _framePtr;
    intptr_t _frameSizeBytes;
    SInt32 _frameCount;
    SInt32 _compressionOnOff;
};

bool import_SharedCamDevice();
