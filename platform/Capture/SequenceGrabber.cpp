#include "SequenceGrabber.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "Diagnostics.h"
#include "V4L2Device.h"
#include "V4L2System.h"

namespace {

constexpr uint32_t kBufferCount = 4;
// Beyond this a driver's answer is nonsense, and it would not fit the 16-bit description.
constexpr uint32_t kMaxDimension = 16384;
// A driver that never ends its input list is not believed past this.
constexpr uint32_t kMaxInputs = 256;
constexpr uint32_t kFormatPreference[] = {V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_UYVY,
                                          V4L2_PIX_FMT_NV12, V4L2_PIX_FMT_YUV420};

void ToPascal(const std::string& in_text, Str63 out_name)
{
    const size_t length = std::min<size_t>(in_text.size(), 63);
    out_name[0] = UInt8(length);
    memcpy(out_name + 1, in_text.data(), length);
}

bool SamePascal(ConstStr255Param in_a, const Str63 in_b)
{
    return in_a[0] == in_b[0] && memcmp(in_a + 1, in_b + 1, in_b[0]) == 0;
}

struct MappedBuffer
{
    void* address = nullptr;
    size_t length = 0;
};

} // namespace

struct SGChannelRecord
{
    SeqGrabComponent owner = nullptr;
    int fd = -1;
    std::string node;
    Str63 deviceName = {};
    Str63 inputName = {};
    short input = 0;
    OSErr lost = 0; // the error that closed the device, until the channel is disposed
    Rect bounds = {};
    long usage = 0;
    std::vector<uint32_t> offered;
    uint32_t fourcc = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    MappedBuffer buffers[kBufferCount];
    uint32_t bufferCount = 0;
    bool streaming = false;
};

struct SeqGrabRecord
{
    SGChannel channel = nullptr;
    GWorldPtr port = nullptr;
    SGDataProcPtr proc = nullptr;
    void* refCon = nullptr;
    bool recording = false;
};

// ---- devices

// Opens a node and answers whether it captures video; the descriptor stays open only then.
static int OpenCaptureNode(const std::string& in_node, int* out_fd, v4l2_capability& out_cap)
{
    int fd = -1;
    int err = V4L2::Open(in_node.c_str(), &fd);
    if (err != 0)
        return err;
    err = V4L2::QueryCapability(fd, out_cap);
    if (err == 0 && !V4L2::IsVideoCapture(out_cap))
        err = -ENODEV;
    if (err != 0) {
        V4L2::Close(fd);
        return err;
    }
    *out_fd = fd;
    return 0;
}

static std::string InputName(int in_fd, uint32_t in_index)
{
    struct v4l2_input input = {};
    return V4L2::EnumInput(in_fd, in_index, input) == 0
               ? V4L2::FieldText(input.name, sizeof input.name)
               : std::string();
}

static std::string CardName(const v4l2_capability& in_cap)
{
    return V4L2::FieldText(in_cap.card, sizeof in_cap.card);
}

static void ReleaseBuffers(SGChannel io_channel)
{
    if (io_channel->streaming)
        V4L2::StreamOff(io_channel->fd);
    io_channel->streaming = false;
    for (uint32_t i = 0; i < io_channel->bufferCount; ++i)
        if (io_channel->buffers[i].address != nullptr) // a failed start maps only some
            V4L2Sys().Munmap(io_channel->buffers[i].address, io_channel->buffers[i].length);
    if (io_channel->bufferCount != 0) {
        uint32_t none = 0;
        V4L2::RequestBuffers(io_channel->fd, &none);
    }
    io_channel->bufferCount = 0;
    for (MappedBuffer& b : io_channel->buffers)
        b = MappedBuffer();
}

static void CloseDevice(SGChannel io_channel)
{
    ReleaseBuffers(io_channel);
    V4L2::Close(io_channel->fd);
    if (io_channel->owner != nullptr)
        io_channel->owner->recording = false;
}

// The camera went away: the device is let go, and the channel answers the error from now on.
static OSErr LoseDevice(SGChannel io_channel, int in_err)
{
    DIAG_REPORT("%s: the camera is gone (%s); its channel is closed", io_channel->node.c_str(),
                strerror(-in_err));
    CloseDevice(io_channel);
    io_channel->lost = OSErr(in_err);
    return io_channel->lost;
}

static bool IsLostDevice(int in_err)
{
    return in_err == -ENODEV || in_err == -EIO;
}

static void AdoptDevice(SGChannel io_channel, int in_fd, const std::string& in_node,
                        const v4l2_capability& in_cap)
{
    CloseDevice(io_channel);
    io_channel->fd = in_fd;
    io_channel->node = in_node;
    io_channel->lost = 0;
    ToPascal(CardName(in_cap), io_channel->deviceName);
    io_channel->input = 0;
    ToPascal(InputName(in_fd, 0), io_channel->inputName);
    io_channel->offered.clear();
    uint32_t fourcc = 0;
    for (uint32_t i = 0; i < 64 && V4L2::EnumFormat(in_fd, i, &fourcc) == 0; ++i)
        io_channel->offered.push_back(fourcc);
    io_channel->fourcc = io_channel->width = io_channel->height = 0;
}

// Asks the device for the bounds' size in the preferred format it offers, or in in_fourcc.
static OSErr Negotiate(SGChannel io_channel, uint32_t in_fourcc = 0)
{
    uint32_t fourcc = in_fourcc;
    for (uint32_t candidate : kFormatPreference)
        if (fourcc == 0 && std::find(io_channel->offered.begin(), io_channel->offered.end(),
                                     candidate) != io_channel->offered.end())
            fourcc = candidate;
    if (!DIAG_CHECK(fourcc != 0))
        return -EINVAL;
    const Rect& r = io_channel->bounds;
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    if (width <= 0 || height <= 0)
        return paramErr;
    struct v4l2_format format = {};
    const int err =
        V4L2::SetFormat(io_channel->fd, fourcc, uint32_t(width), uint32_t(height), format);
    if (err != 0) {
        DIAG_REPORT("SGSetChannelBounds %s: VIDIOC_S_FMT %dx%d failed: %s",
                    io_channel->node.c_str(), width, height, strerror(-err));
        return OSErr(err);
    }
    const v4l2_pix_format& pix = format.fmt.pix;
    if (pix.width == 0 || pix.height == 0 || pix.width > kMaxDimension ||
        pix.height > kMaxDimension ||
        std::find(std::begin(kFormatPreference), std::end(kFormatPreference), pix.pixelformat) ==
            std::end(kFormatPreference)) {
        DIAG_REPORT("SGSetChannelBounds %s: the driver answered an unusable format %ux%u "
                    "0x%08x",
                    io_channel->node.c_str(), pix.width, pix.height, pix.pixelformat);
        io_channel->fourcc = io_channel->width = io_channel->height = 0;
        return -EINVAL;
    }
    io_channel->fourcc = pix.pixelformat;
    io_channel->width = pix.width;
    io_channel->height = pix.height;
    return 0;
}

static int MapAndQueue(SGChannel io_channel)
{
    uint32_t count = kBufferCount;
    int err = V4L2::RequestBuffers(io_channel->fd, &count);
    if (err != 0)
        return err;
    if (count == 0)
        return -ENOMEM;
    io_channel->bufferCount = std::min(count, kBufferCount);
    for (uint32_t i = 0; i < io_channel->bufferCount; ++i) {
        struct v4l2_buffer buf = {};
        err = V4L2::QueryBuffer(io_channel->fd, i, buf);
        if (err == 0)
            err = V4L2Sys().Mmap(io_channel->fd, buf.length, off_t(buf.m.offset),
                                 &io_channel->buffers[i].address);
        if (err != 0)
            return err;
        io_channel->buffers[i].length = buf.length;
        err = V4L2::QueueBuffer(io_channel->fd, i);
        if (err != 0)
            return err;
    }
    return 0;
}

static int StartStreamingOnce(SGChannel io_channel)
{
    int err = MapAndQueue(io_channel);
    if (err == 0)
        err = V4L2::StreamOn(io_channel->fd);
    if (err == 0)
        io_channel->streaming = true;
    else
        ReleaseBuffers(io_channel);
    return err;
}

// Two cameras on one USB bus often cannot both stream uncompressed: MJPEG is tried before
// giving up, and the user is told what to do.
static OSErr StartStreaming(SGChannel io_channel)
{
    if (io_channel->streaming)
        return 0;
    if (io_channel->fourcc == 0) {
        const OSErr err = Negotiate(io_channel);
        if (err != 0)
            return err;
    }
    int err = StartStreamingOnce(io_channel);
    const bool mjpegOffered = std::find(io_channel->offered.begin(), io_channel->offered.end(),
                                        V4L2_PIX_FMT_MJPEG) != io_channel->offered.end();
    if (err == -ENOSPC && io_channel->fourcc != V4L2_PIX_FMT_MJPEG && mjpegOffered &&
        Negotiate(io_channel, V4L2_PIX_FMT_MJPEG) == 0)
        err = StartStreamingOnce(io_channel);
    if (err == -ENOSPC)
        DIAG_REPORT("%.*s: the USB bus has no room for another %sstream; plug one camera "
                    "into another USB port or lower the size",
                    int(io_channel->deviceName[0]),
                    reinterpret_cast<const char*>(io_channel->deviceName + 1),
                    io_channel->fourcc == V4L2_PIX_FMT_MJPEG ? "" : "uncompressed ");
    else if (err != 0)
        DIAG_REPORT("SGStartRecord %s: streaming did not start: %s", io_channel->node.c_str(),
                    strerror(-err));
    if (IsLostDevice(err))
        return LoseDevice(io_channel, err);
    return OSErr(err);
}

// ---- device list

static void DisposeInputList(SGDeviceInputList io_list)
{
    if (io_list == nullptr)
        return;
    delete[](*io_list)->entry;
    delete *io_list;
    delete io_list;
}

OSErr SGNewDeviceList(SGDeviceList* out_list)
{
    if (out_list == nullptr)
        return paramErr;
    std::vector<std::string> nodes;
    V4L2Sys().ListNodes(nodes);
    std::vector<SGDeviceName> devices;
    for (const std::string& node : nodes) {
        if (devices.size() >= 0x7fff)
            break;
        int fd = -1;
        struct v4l2_capability cap = {};
        if (OpenCaptureNode(node, &fd, cap) != 0)
            continue;
        SGDeviceName device = {};
        ToPascal(CardName(cap), device.name);
        std::vector<SGDeviceInputName> inputs;
        struct v4l2_input input = {};
        for (uint32_t i = 0; i < kMaxInputs && V4L2::EnumInput(fd, i, input) == 0; ++i) {
            SGDeviceInputName name = {};
            ToPascal(V4L2::FieldText(input.name, sizeof input.name), name.name);
            inputs.push_back(name);
        }
        V4L2::Close(fd);
        if (!inputs.empty()) {
            auto* record = new SGDeviceInputListRecord{SInt16(inputs.size()),
                                                       new SGDeviceInputName[inputs.size()]};
            std::copy(inputs.begin(), inputs.end(), record->entry);
            device.inputs = new SGDeviceInputListRecord*(record);
        }
        devices.push_back(device);
    }
    auto* record = new SGDeviceListRecord{SInt16(devices.size()),
                                          new SGDeviceName[std::max<size_t>(devices.size(), 1)]};
    std::copy(devices.begin(), devices.end(), record->entry);
    *out_list = new SGDeviceListRecord*(record);
    return 0;
}

OSErr SGGetChannelDeviceList(SGChannel channel, long, SGDeviceList* out_list)
{
    if (out_list != nullptr)
        *out_list = nullptr;
    if (channel == nullptr)
        return paramErr;
    return SGNewDeviceList(out_list);
}

OSErr SGDisposeDeviceList(SeqGrabComponent, SGDeviceList list)
{
    if (list == nullptr)
        return paramErr;
    for (SInt16 i = 0; i < (*list)->count; ++i)
        DisposeInputList((*list)->entry[i].inputs);
    delete[](*list)->entry;
    delete *list;
    delete list;
    return 0;
}

// ---- component

OSErr SGOpenComponent(SeqGrabComponent* out_component)
{
    if (out_component == nullptr)
        return paramErr;
    *out_component = new SeqGrabRecord;
    return 0;
}

OSErr SGCloseComponent(SeqGrabComponent component)
{
    if (component == nullptr)
        return 0;
    if (component->channel != nullptr)
        SGDisposeChannel(component, component->channel);
    delete component;
    return 0;
}

OSErr SGInitialize(SeqGrabComponent component)
{
    return component == nullptr ? paramErr : 0;
}

OSErr SGSetDataRef(SeqGrabComponent component, const void* dataRef, long, long flags)
{
    if (component == nullptr)
        return paramErr;
    // Frames only ever go to the data callback; there is no movie to write.
    return dataRef == nullptr && (flags & seqGrabDontMakeMovie) != 0 ? 0 : paramErr;
}

OSErr SGSetDataProc(SeqGrabComponent component, SGDataProcPtr proc, void* refCon)
{
    if (component == nullptr)
        return paramErr;
    component->proc = proc;
    component->refCon = refCon;
    return 0;
}

OSErr SGSetGWorld(SeqGrabComponent component, GWorldPtr port, GDHandle)
{
    if (component == nullptr || port == nullptr)
        return paramErr;
    component->port = port;
    return 0;
}

GWorldPtr SGGetGWorld(SeqGrabComponent component)
{
    return component != nullptr ? component->port : nullptr;
}

// ---- channel

OSErr SGNewVideoChannel(SeqGrabComponent component, SGChannel* out_channel)
{
    if (out_channel != nullptr)
        *out_channel = nullptr;
    if (component == nullptr || out_channel == nullptr || component->channel != nullptr)
        return paramErr;
    std::vector<std::string> nodes;
    V4L2Sys().ListNodes(nodes);
    for (const std::string& node : nodes) {
        int fd = -1;
        struct v4l2_capability cap = {};
        if (OpenCaptureNode(node, &fd, cap) != 0)
            continue;
        auto* channel = new SGChannelRecord;
        channel->owner = component;
        AdoptDevice(channel, fd, node, cap);
        component->channel = channel;
        *out_channel = channel;
        return 0;
    }
    return -ENODEV;
}

OSErr SGDisposeChannel(SeqGrabComponent component, SGChannel channel)
{
    if (component == nullptr || channel == nullptr || component->channel != channel)
        return paramErr;
    CloseDevice(channel);
    component->channel = nullptr;
    delete channel;
    return 0;
}

OSErr SGSetChannelDevice(SGChannel channel, ConstStr255Param name)
{
    if (channel == nullptr || name == nullptr)
        return paramErr;
    if (channel->streaming)
        return -EBUSY;
    std::vector<std::string> nodes;
    V4L2Sys().ListNodes(nodes);
    for (const std::string& node : nodes) {
        int fd = -1;
        struct v4l2_capability cap = {};
        if (OpenCaptureNode(node, &fd, cap) != 0)
            continue;
        Str63 card;
        ToPascal(CardName(cap), card);
        if (SamePascal(name, card)) {
            AdoptDevice(channel, fd, node, cap);
            return 0;
        }
        V4L2::Close(fd);
    }
    return -ENOENT;
}

OSErr SGSetChannelDeviceInput(SGChannel channel, short input)
{
    if (channel == nullptr || input < 0)
        return paramErr;
    if (channel->lost != 0)
        return channel->lost;
    if (channel->streaming)
        return -EBUSY;
    const int err = V4L2::SetInput(channel->fd, input);
    if (err != 0)
        return OSErr(err);
    channel->input = input;
    ToPascal(InputName(channel->fd, uint32_t(input)), channel->inputName);
    // Another input may offer other sizes: what was negotiated is asked again.
    if (channel->fourcc != 0)
        return Negotiate(channel);
    return 0;
}

OSErr SGSetChannelSettingsStateChanging(SGChannel channel, UInt32)
{
    return channel == nullptr ? paramErr : 0;
}

OSErr SGChangedSource(SeqGrabComponent component, SGChannel channel)
{
    return component == nullptr || channel == nullptr ? paramErr : 0;
}

OSErr SGSetChannelBounds(SGChannel channel, const Rect* bounds)
{
    if (channel == nullptr || bounds == nullptr)
        return paramErr;
    if (channel->lost != 0)
        return channel->lost;
    if (bounds->right <= bounds->left || bounds->bottom <= bounds->top)
        return paramErr;
    channel->bounds = *bounds;
    // The format cannot change under mapped buffers; the next start negotiates it.
    if (channel->streaming)
        return 0;
    return Negotiate(channel);
}

OSErr SGSetChannelUsage(SGChannel channel, long usage)
{
    if (channel == nullptr)
        return paramErr;
    channel->usage = usage;
    return 0;
}

OSErr SGGetChannelDeviceAndInputNames(SGChannel channel, StringPtr deviceName, StringPtr inputName,
                                      short* inputNumber)
{
    if (channel == nullptr)
        return paramErr;
    if (deviceName != nullptr)
        memcpy(deviceName, channel->deviceName, sizeof(Str63));
    if (inputName != nullptr)
        memcpy(inputName, channel->inputName, sizeof(Str63));
    if (inputNumber != nullptr)
        *inputNumber = channel->input;
    return 0;
}

OSErr SGGetChannelSampleDescription(SGChannel channel, SGSampleDescription* out_description)
{
    if (channel == nullptr || out_description == nullptr)
        return paramErr;
    if (channel->lost != 0)
        return channel->lost;
    out_description->fourcc = channel->fourcc;
    out_description->width = SInt16(channel->width);
    out_description->height = SInt16(channel->height);
    return 0;
}

// ---- recording

// Streaming starts here rather than at SGStartRecord, so that a format changed to get room on
// the bus is already in the sample description the caller reads before it starts.
OSErr SGPrepare(SeqGrabComponent component, Boolean, Boolean prepareForRecord)
{
    if (component == nullptr || component->channel == nullptr)
        return paramErr;
    if (component->channel->lost != 0)
        return component->channel->lost;
    return prepareForRecord ? StartStreaming(component->channel) : 0;
}

OSErr SGStartRecord(SeqGrabComponent component)
{
    if (component == nullptr || component->channel == nullptr)
        return paramErr;
    if (component->channel->lost != 0)
        return component->channel->lost;
    const OSErr err = StartStreaming(component->channel);
    component->recording = err == 0;
    return err;
}

OSErr SGStop(SeqGrabComponent component)
{
    if (component == nullptr)
        return paramErr;
    component->recording = false;
    if (component->channel != nullptr)
        ReleaseBuffers(component->channel);
    return 0;
}

OSErr SGIdle(SeqGrabComponent component)
{
    if (component == nullptr)
        return paramErr;
    SGChannel channel = component->channel;
    if (channel == nullptr)
        return 0;
    if (channel->lost != 0)
        return channel->lost;
    if (!component->recording || !channel->streaming)
        return 0;
    struct pollfd ready = {channel->fd, POLLIN, 0};
    const int polled = V4L2Sys().Poll(&ready, 1, 0);
    if (IsLostDevice(polled))
        return LoseDevice(channel, polled);
    if (polled < 0)
        return OSErr(polled);
    if (polled == 0)
        return 0;
    // At most one round of the buffers, so a fast device cannot keep the caller here.
    for (uint32_t round = 0; round < channel->bufferCount; ++round) {
        struct v4l2_buffer buf = {};
        int err = V4L2::DequeueBuffer(channel->fd, buf);
        if (err == -EAGAIN)
            break;
        if (IsLostDevice(err))
            return LoseDevice(channel, err);
        if (err != 0)
            return OSErr(err);
        if (!DIAG_CHECK(buf.index < channel->bufferCount))
            continue; // not a buffer of ours: nothing to read and nothing to queue again
        const MappedBuffer& mapped = channel->buffers[buf.index];
        const size_t length = std::min<size_t>(buf.bytesused, mapped.length);
        const UInt64 timeUs =
            UInt64(buf.timestamp.tv_sec) * 1000000u + UInt64(buf.timestamp.tv_usec);
        if (component->proc != nullptr && length > 0)
            component->proc(channel, static_cast<const UInt8*>(mapped.address), long(length),
                            timeUs, component->refCon);
        // The callback may have stopped or disposed the channel.
        if (component->channel != channel || !channel->streaming)
            return 0;
        err = V4L2::QueueBuffer(channel->fd, buf.index);
        if (IsLostDevice(err))
            return LoseDevice(channel, err);
        if (err != 0)
            return OSErr(err);
    }
    return 0;
}
