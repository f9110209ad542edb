// client_helper <command> MS: a process on the channel through the client's wrappers, which
// find and load the component themselves, as the application and the plug-in do.
//   write-frames MS   publish numbered frames for MS milliseconds; prints the counts
//   read-frames MS    read and check frames for MS milliseconds; prints the counts
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ChannelFrames.h"
#include "CoreMachDebugLog.h"
#include "shared_camera_bundle.h"

using namespace p3dtest;

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    CoreMachDebugLogSetUseLogger(kCoreLogOutputASL);
    ComponentExports client{ComponentExports::Unloaded{}};
    client.SetCameraControl = [](SHARED_CAMERA_CONTROL* control) -> Boolean {
        return SharedCameraBundle::SetCameraControl(control);
    };
    client.GetWriteableFrameBuffer = [](int n, SHARED_CAMERA_BUFFER* buffer) -> Boolean {
        return SharedCameraBundle::GetWriteableFrameBuffer_N(n, buffer);
    };
    client.SetCurrentReadBuffer = [](void* buffer) -> Boolean {
        return SharedCameraBundle::SetCurrentReadBuffer(buffer);
    };
    client.GetCurrentReadBuffer = [](SHARED_CAMERA_BUFFER* buffer) -> Boolean {
        return SharedCameraBundle::GetCurrentReadBuffer(buffer);
    };
    client.LockFrameBuffer = [](void* buffer) -> Boolean {
        return SharedCameraBundle::LockFrameBuffer(buffer);
    };
    client.UnLockFrameBuffer = [](void* buffer) -> Boolean {
        return SharedCameraBundle::UnLockFrameBuffer(buffer);
    };

    const std::string command = argv[1];
    const std::chrono::milliseconds span(strtol(argv[2], nullptr, 10));
    if (command == "write-frames") {
        const WriterCounts counts = WriteFramesFor(client, span);
        printf("published %u dropped %u\n", counts.published, counts.dropped);
        return counts.published > 0 ? 0 : 1;
    }
    if (command == "read-frames") {
        const ReaderCounts counts = ReadFramesFor(client, span);
        printf("read %u torn %u backwards %u\n", counts.frames, counts.torn, counts.backwards);
        return counts.torn == 0 && counts.backwards == 0 ? 0 : 1;
    }
    return 2;
}
