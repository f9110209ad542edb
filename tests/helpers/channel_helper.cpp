// channel_helper <command> [arguments]: another process on the shared camera channel. It loads
// the component with dlopen and calls its exports by name. Exit 0 means the command did what it
// says; 3 means the channel said no.
//   describe N          describe write buffer N; prints its fields
//   publish N SEED      lock buffer N, fill it with frame SEED, unlock, publish it
//   current             prints "frame SEED" for the current frame, "torn", or "none"
//   trylock N           try the lock of buffer N (released again at once)
//   hold N              lock buffer N, print "holding"; on SIGUSR1 unlock it, print "released"
//   hold-current        the same for the current buffer
//   lock N              lock buffer N (bounded wait), release it
//   control ALLOW       set the allow-connections switch
//   write-frames MS     publish numbered frames for MS milliseconds; prints the counts
//   read-frames MS      read and check frames for MS milliseconds; prints the counts
//   publish-bars N      fill buffer N with colour bars and publish it
//   unpublish           publish no frame: the broadcast pauses
//   device-hold         take the current frame through the virtual camera device, print
//                       "holding N", release it on SIGUSR1 and print "released"
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "ChannelFrames.h"

using namespace p3dtest;

namespace {

void* WriteBuffer(const ComponentExports& exports, int n)
{
    SHARED_CAMERA_BUFFER record = ComponentExports::Record();
    return exports.GetWriteableFrameBuffer(n, &record) ? record.frameBufferPtr : nullptr;
}

// SIGUSR1 is blocked before the lock is taken, so a signal sent once "holding" is read is not lost.
void BlockRelease()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGUSR1);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
}

int HoldUntilReleased(const ComponentExports& exports, void* buffer)
{
    printf("holding\n");
    fflush(stdout);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGUSR1);
    int signal = 0;
    sigwait(&signals, &signal);
    exports.UnLockFrameBuffer(buffer);
    printf("released\n");
    fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    const std::string command = argv[1];
    const long argument = argc > 2 ? strtol(argv[2], nullptr, 0) : 0;
    ComponentExports exports;
    if (!exports.loaded()) {
        fprintf(stderr, "channel_helper: cannot load the component: %s\n", dlerror());
        return 2;
    }

    if (command == "describe") {
        SHARED_CAMERA_BUFFER record = ComponentExports::Record();
        const bool ok = exports.GetWriteableFrameBuffer(int(argument), &record);
        printf("%d %d %d %d %d 0x%08x\n", record.frameBufferPtr != nullptr,
               record.frameBufferRowBytes, record.frameBufferSizeBytes, record.frameWidth,
               record.frameHeight, record.framePixelFormat);
        return ok ? 0 : 3;
    }
    if (command == "publish" && argc == 4) {
        void* buffer = WriteBuffer(exports, int(argument));
        if (!buffer || !exports.LockFrameBuffer(buffer))
            return 3;
        FillFrame(buffer, UInt32(strtoul(argv[3], nullptr, 0)));
        exports.UnLockFrameBuffer(buffer);
        return exports.SetCurrentReadBuffer(buffer) ? 0 : 3;
    }
    if (command == "current") {
        std::vector<UInt8> copy;
        UInt32 number = 0;
        switch (ReadFrame(exports, copy, &number)) {
        case ReadResult::kFrame:
            printf("frame %u\n", number);
            return 0;
        case ReadResult::kTorn:
            printf("torn\n");
            return 1;
        case ReadResult::kNoFrame:
            printf("none\n");
            return 3;
        }
    }
    if (command == "trylock") {
        void* buffer = WriteBuffer(exports, int(argument));
        if (!buffer || !exports.TryLockFrameBuffer(buffer))
            return 3;
        exports.UnLockFrameBuffer(buffer);
        return 0;
    }
    if (command == "lock") {
        void* buffer = WriteBuffer(exports, int(argument));
        if (!buffer || !exports.LockFrameBuffer(buffer))
            return 3;
        exports.UnLockFrameBuffer(buffer);
        return 0;
    }
    if (command == "hold") {
        BlockRelease();
        void* buffer = WriteBuffer(exports, int(argument));
        if (!buffer || !exports.LockFrameBuffer(buffer))
            return 3;
        return HoldUntilReleased(exports, buffer);
    }
    if (command == "hold-current") {
        BlockRelease();
        SHARED_CAMERA_BUFFER record = ComponentExports::Record();
        if (!exports.GetCurrentReadBuffer(&record) ||
            !exports.LockFrameBuffer(record.frameBufferPtr))
            return 3;
        return HoldUntilReleased(exports, record.frameBufferPtr);
    }
    if (command == "control") {
        SHARED_CAMERA_CONTROL control = {sizeof(SHARED_CAMERA_CONTROL), SInt16(argument), 0};
        return exports.SetCameraControl(&control) ? 0 : 3;
    }
    if (command == "publish-bars") {
        void* buffer = WriteBuffer(exports, int(argument));
        if (!buffer || !exports.LockFrameBuffer(buffer))
            return 3;
        FillBars(buffer);
        exports.UnLockFrameBuffer(buffer);
        return exports.SetCurrentReadBuffer(buffer) ? 0 : 3;
    }
    if (command == "unpublish")
        return exports.SetCurrentReadBuffer(nullptr) ? 0 : 3;
    if (command == "device-hold" && exports.Device) {
        const SharedCamDeviceDispatch& device = *exports.Device;
        sigset_t signals;
        sigemptyset(&signals);
        sigaddset(&signals, SIGUSR1);
        sigprocmask(SIG_BLOCK, &signals, nullptr);
        SharedCamDeviceRef instance = device.Construct();
        device.Connect(instance);
        UInt8 done = 0;
        UInt8* frame = nullptr;
        long size = 0;
        if (device.GetFrame(instance, &done, &frame, &size) != 0)
            return 3;
        UInt32 number = 0;
        printf("holding %d\n", FrameNumber(frame, &number) ? int(number) : -1);
        fflush(stdout);
        int signal = 0;
        sigwait(&signals, &signal);
        device.ReleaseCompressBuffer(instance, frame);
        printf("released\n");
        device.Disconnect(instance);
        device.Destroy(instance);
        return 0;
    }
    if (command == "write-frames") {
        const WriterCounts counts = WriteFramesFor(exports, std::chrono::milliseconds(argument));
        printf("published %u dropped %u\n", counts.published, counts.dropped);
        return 0;
    }
    if (command == "read-frames") {
        const ReaderCounts counts = ReadFramesFor(exports, std::chrono::milliseconds(argument));
        printf("read %u torn %u backwards %u\n", counts.frames, counts.torn, counts.backwards);
        return counts.torn == 0 && counts.backwards == 0 ? 0 : 1;
    }
    return 2;
}
