#include "VirtualCamera.h"

#include <cerrno>
#include <ctime>

#include "NoBroadcastPicture.h"

namespace {

constexpr long kNanosecondsPerSecond = 1000000000L;

timespec Now()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now;
}

void Advance(timespec& io_time, long in_nanoseconds)
{
    io_time.tv_nsec += in_nanoseconds;
    while (io_time.tv_nsec >= kNanosecondsPerSecond) {
        io_time.tv_nsec -= kNanosecondsPerSecond;
        ++io_time.tv_sec;
    }
}

bool Before(const timespec& in_a, const timespec& in_b)
{
    return in_a.tv_sec < in_b.tv_sec || (in_a.tv_sec == in_b.tv_sec && in_a.tv_nsec < in_b.tv_nsec);
}

std::string PascalText(const unsigned char* in_name)
{
    return std::string(reinterpret_cast<const char*>(in_name + 1), in_name[0]);
}

} // namespace

VirtualCamera::VirtualCamera(const SharedCamDeviceDispatch& in_device, FrameOutput& in_output)
    : mDevice(in_device), mOutput(in_output)
{
}

VirtualCamera::~VirtualCamera()
{
    Disconnect();
}

bool VirtualCamera::Connect(OutputFormat in_format, const std::string* in_nameSuffix,
                            std::string& out_error)
{
    Disconnect();
    mInstance = mDevice.Construct();
    if (mInstance == nullptr || !mDevice.Connect(mInstance)) {
        out_error = "the virtual camera device could not be made (out of memory?)";
        Disconnect();
        return false;
    }
    if (in_nameSuffix != nullptr)
        mDevice.SetDeviceNameSuffix(mInstance, in_nameSuffix->c_str());

    Str255 name = {};
    mDevice.GetDeviceName(mInstance, name, 0);
    Rect source = {};
    mDevice.GetMaxSrcRectFromDevice(mInstance, &source);
    const int width = source.right - source.left;
    const int height = source.bottom - source.top;
    const SInt32 frameBytes = mDevice.FrameSizeBytes(mInstance);
    // The device's frames are A, R, G, B rows of its rectangle; anything else cannot be read.
    if (width <= 0 || height <= 0 || int64_t(frameBytes) != int64_t(width) * height * 4) {
        out_error = "the virtual camera device states frames of " + std::to_string(frameBytes) +
                    " bytes for a " + std::to_string(width) + " x " + std::to_string(height) +
                    " rectangle; this program cannot read them";
        Disconnect();
        return false;
    }

    mSettings.deviceName = PascalText(name);
    mSettings.width = width;
    mSettings.height = height;
    mSettings.format = in_format;
    mSourceBytes = size_t(frameBytes);
    mConverter = std::make_unique<FrameConverter>(in_format, width, height);
    if (!mConverter->IsValid()) {
        out_error = std::string("frames of ") + std::to_string(width) + " x " +
                    std::to_string(height) + " cannot be written as " +
                    OutputFormatName(in_format);
        Disconnect();
        return false;
    }
    std::vector<uint8_t> picture(mSourceBytes);
    DrawNoBroadcastPicture(picture.data(), width, height, mSettings.deviceName);
    mFrame.assign(mConverter->OutputBytes(), 0);
    mConverter->Convert(picture.data(), size_t(width) * 4, mFrame.data());
    mCounts = Counts();
    return true;
}

bool VirtualCamera::TakeFrame()
{
    UInt8 done = 0;
    UInt8* buffer = nullptr;
    long size = 0;
    if (mDevice.GetFrame(mInstance, &done, &buffer, &size) != 0)
        return false;
    const bool usable = done != 0 && buffer != nullptr && size >= 0 && size_t(size) >= mSourceBytes;
    if (usable)
        mConverter->Convert(buffer, size_t(mSettings.width) * 4, mFrame.data());
    // Every buffer handed out goes back exactly once, used or not.
    mDevice.ReleaseCompressBuffer(mInstance, buffer);
    if (usable)
        ++mCounts.delivered;
    return usable;
}

bool VirtualCamera::Run(long long in_frames, const std::atomic<bool>& in_stop,
                        std::string& out_error)
{
    if (mInstance == nullptr) {
        out_error = "the virtual camera device is not connected";
        return false;
    }
    const long period = kNanosecondsPerSecond / (mSettings.framesPerSecond > 0
                                                     ? mSettings.framesPerSecond
                                                     : 30);
    timespec deadline = Now();
    int failedFor = 0; // frames since the device last failed to hand one out
    for (uint64_t tick = 0; !in_stop && (in_frames < 0 || mCounts.written < uint64_t(in_frames));
         ++tick) {
        if (tick % kReplacedCheckInterval == kReplacedCheckInterval - 1)
            mDevice.ReopenIfReplaced(mInstance);
        bool fresh = false;
        if (failedFor == 0 || failedFor >= kRetryInterval) {
            fresh = TakeFrame();
            failedFor = fresh ? 0 : 1;
        } else {
            ++failedFor;
        }
        if (!fresh)
            ++mCounts.repeated;
        if (!mOutput.Write(mFrame.data(), mFrame.size(), out_error))
            return in_stop; // a write cut short by a stop is no failure
        ++mCounts.written;

        // Keep to the frame rate on the monotonic clock; after a stall, start again from now
        // rather than rushing frames out to catch up.
        Advance(deadline, period);
        timespec now = Now();
        timespec late = deadline;
        Advance(late, period);
        if (Before(late, now))
            deadline = now;
        while (!in_stop &&
               clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
        }
    }
    return true;
}

void VirtualCamera::Disconnect()
{
    if (mInstance == nullptr)
        return;
    mDevice.Disconnect(mInstance);
    mDevice.Destroy(mInstance);
    mInstance = nullptr;
}
