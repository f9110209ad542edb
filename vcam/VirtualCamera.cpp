#include "VirtualCamera.h"

#include <cerrno>
#include <ctime>
#include <utility>

#include "ChannelFrameFit.h"
#include "NoBroadcastPicture.h"
#include "StampedChannelWriter.h"

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

VirtualCamera::VirtualCamera(const SharedCamDeviceDispatch& in_device, FrameOutput& in_output,
                             std::string in_stampedPath)
    : mDevice(in_device), mOutput(in_output), mStamped(std::move(in_stampedPath))
{
}

VirtualCamera::~VirtualCamera()
{
    Disconnect();
}

bool VirtualCamera::Connect(OutputFormat in_format, const std::string* in_nameSuffix,
                            std::string& out_error, int in_width, int in_height)
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
    mSourceWidth = width;
    mSourceHeight = height;
    mSourceBytes = size_t(frameBytes);
    if (in_width <= 0 && !mStamped.BroadcastSize(in_width, in_height)) {
        in_width = width;
        in_height = height;
    }
    mSettings.width = in_width;
    mSettings.height = in_height;
    mSettings.format = in_format;
    mConverter = std::make_unique<FrameConverter>(in_format, in_width, in_height);
    if (!mConverter->IsValid()) {
        out_error = std::string("frames of ") + std::to_string(in_width) + " x " +
                    std::to_string(in_height) + " cannot be written as " +
                    OutputFormatName(in_format);
        Disconnect();
        return false;
    }
    std::vector<uint8_t> picture(size_t(in_width) * size_t(in_height) * 4);
    DrawNoBroadcastPicture(picture.data(), in_width, in_height, mSettings.deviceName);
    mFrame.assign(mConverter->OutputBytes(), 0);
    mNext.assign(mConverter->OutputBytes(), 0);
    mConverter->Convert(picture.data(), size_t(in_width) * 4, mFrame.data());
    mCounts = Counts();
    mInChannel = false;
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
    if (usable) {
        Convert(buffer, mSourceWidth * 4, mSourceWidth, mSourceHeight, mFrame.data());
        mInChannel = false;
    }
    // Every buffer handed out goes back exactly once, used or not.
    mDevice.ReleaseCompressBuffer(mInstance, buffer);
    if (usable)
        ++mCounts.delivered;
    return usable;
}

bool VirtualCamera::TakeStampedFrame(uint64_t& out_captureNs)
{
    StampedChannelReader::Frame frame;
    if (!mStamped.BeginRead(frame))
        return false;
    // An output that converts for itself reads the frame from the channel as it writes it.
    const bool inChannel = mOutput.ConvertsItself() && frame.width == mSettings.width &&
                           frame.height == mSettings.height;
    if (!inChannel)
        Convert(frame.pixels, frame.rowBytes, frame.width, frame.height, mNext.data());
    // A frame not known whole is never written: the last one goes again.
    if (!mStamped.EndRead())
        return false;
    mInChannel = inChannel;
    if (!inChannel)
        std::swap(mFrame, mNext);
    // A frame that waited for this program to start tells nothing of the delay.
    out_captureNs = frame.publishNs >= mRunStartNs ? frame.captureNs : 0;
    ++mCounts.delivered;
    return true;
}

void VirtualCamera::KeepChannelFrame()
{
    mInChannel = false;
    StampedChannelReader::Frame frame;
    if (!mStamped.BeginReadNewest(frame))
        return;
    Convert(frame.pixels, frame.rowBytes, frame.width, frame.height, mNext.data());
    if (mStamped.EndRead())
        std::swap(mFrame, mNext);
}

bool VirtualCamera::WriteFrame(bool& out_written, std::string& out_error)
{
    out_written = true;
    if (!mInChannel)
        return mOutput.Write(mFrame.data(), mFrame.size(), out_error);
    StampedChannelReader::Frame frame;
    if (!mStamped.BeginReadNewest(frame)) {
        out_written = false; // the writer is drawing into it: the consumers keep the last one
        return true;
    }
    if (frame.width != mSettings.width || frame.height != mSettings.height) {
        mStamped.EndRead();
        KeepChannelFrame(); // the broadcast changed size: fitted from now on
        return mOutput.Write(mFrame.data(), mFrame.size(), out_error);
    }
    const bool written = mOutput.WritePixels(
        frame.pixels, size_t(frame.rowBytes), [this] { return mStamped.IsHeldWhole(); }, out_error);
    mStamped.EndRead();
    return written;
}

void VirtualCamera::Convert(const uint8_t* in_argb, int in_rowBytes, int in_width, int in_height,
                            uint8_t* out_frame)
{
    if (in_width == mSettings.width && in_height == mSettings.height) {
        mConverter->Convert(in_argb, size_t(in_rowBytes), out_frame);
        return;
    }
    // Made at the first frame of another size, and kept.
    if (mFitted.empty())
        mFitted.resize(size_t(mSettings.width) * size_t(mSettings.height) * 4);
    FitChannelFrameInto(in_argb, in_rowBytes, in_width, in_height, mFitted.data(),
                        mSettings.width * 4, mSettings.width, mSettings.height);
    mConverter->Convert(mFitted.data(), size_t(mSettings.width) * 4, out_frame);
}

bool VirtualCamera::Run(long long in_frames, const std::atomic<bool>& in_stop,
                        std::string& out_error, const std::string& in_statsPath)
{
    if (mInstance == nullptr) {
        out_error = "the virtual camera device is not connected";
        return false;
    }
    const long period =
        kNanosecondsPerSecond / (mSettings.framesPerSecond > 0 ? mSettings.framesPerSecond : 30);
    timespec deadline = Now();
    int failedFor = 0; // frames since the device last failed to hand one out
    uint64_t statsDueNs = 0;
    mRunStartNs = StampedChannelNowNs();
    for (uint64_t tick = 0; !in_stop && (in_frames < 0 || mCounts.written < uint64_t(in_frames));
         ++tick) {
        if (tick % kReplacedCheckInterval == kReplacedCheckInterval - 1)
            mDevice.ReopenIfReplaced(mInstance);
        const bool stamped = mStamped.IsWriterAlive();
        if (!stamped && mInChannel)
            KeepChannelFrame(); // the writer went: its last frame stays
        bool fresh = false;
        uint64_t captureNs = 0;
        if (stamped) {
            fresh = TakeStampedFrame(captureNs);
            failedFor = 0;
        } else if (failedFor == 0 || failedFor >= kRetryInterval) {
            fresh = TakeFrame();
            failedFor = fresh ? 0 : 1;
        } else {
            ++failedFor;
        }
        if (!fresh)
            ++mCounts.repeated;
        const uint64_t writeNs = StampedChannelNowNs();
        bool written = false;
        if (!WriteFrame(written, out_error))
            return in_stop; // a write cut short by a stop is no failure
        if (written) {
            ++mCounts.written;
            mStats.frameWritten(writeNs, captureNs);
        }
        if (!in_statsPath.empty() && writeNs >= statsDueNs) {
            mStats.writeFile(in_statsPath, writeNs);
            statsDueNs = writeNs + uint64_t(kNanosecondsPerSecond);
        }

        if (stamped) {
            // The next frame is written as soon as it is published; the last one again when
            // none comes within half a period more, so consumers are never starved.
            mStamped.WaitForNewFrame(period * 3 / 2);
            deadline = Now();
            continue;
        }
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
