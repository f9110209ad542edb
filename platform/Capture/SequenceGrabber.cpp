#include "SequenceGrabber.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Diagnostics.h"
#include "V4L2CameraList.h"
#include "V4L2VideoDevice.h"

namespace {

// Beyond this a driver's answer is nonsense, and it would not fit the 16-bit description.
constexpr uint32_t kMaxDimension = 16384;
constexpr uint32_t kFormatPreference[] = {V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_UYVY,
                                          V4L2_PIX_FMT_NV12, V4L2_PIX_FMT_YUV420};

void ToPascal(const std::string& in_text, Str63 out_name)
{
    const size_t length = std::min<size_t>(in_text.size(), 63);
    out_name[0] = UInt8(length);
    memcpy(out_name + 1, in_text.data(), length);
}

std::string FromPascal(ConstStr255Param in_name)
{
    return std::string(reinterpret_cast<const char*>(in_name + 1), in_name[0]);
}

bool Offers(const std::vector<uint32_t>& in_formats, uint32_t in_fourcc)
{
    return std::find(in_formats.begin(), in_formats.end(), in_fourcc) != in_formats.end();
}

} // namespace

struct SGChannelRecord
{
    SeqGrabComponent owner = nullptr;
    std::unique_ptr<V4L2VideoDevice> device;
    std::string deviceName;               // unique among the devices
    std::vector<std::string> cameraNames; // one per input: what the channel calls its device
    short input = 0;
    bool lostReported = false;
    Rect bounds = {};
    bool boundsPending = false; // set while streaming: negotiated at the next start
    long usage = 0;
    std::vector<uint32_t> offered;
    uint32_t fourcc = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    long corruptFrames = 0;
    // Dequeued frames kept for SGTakeHeldFrame, oldest first; valid while the stream runs.
    V4L2VideoDevice::Frame held[V4L2VideoDevice::kMaxBuffers];
    int heldCount = 0;
    UInt32 passedOver = 0; // held frames given back undelivered since the last take
};

struct SeqGrabRecord
{
    SGChannel channel = nullptr;
    GWorldPtr port = nullptr;
    SGDataProcPtr proc = nullptr;
    void* refCon = nullptr;
    bool recording = false;
    int holdFrames = 0;
};

// ---- devices

static bool IsLost(const SGChannelRecord& in_channel)
{
    return in_channel.device->GetState() == V4L2VideoDevice::State::kLost;
}

// Every device result passes here: a camera that went away is reported once, recording ends,
// and the device's error is what the channel answers from then on.
static OSErr DeviceStatus(SGChannel io_channel, int in_err)
{
    if (IsLost(*io_channel) && !io_channel->lostReported) {
        io_channel->lostReported = true;
        DIAG_REPORT("%s: the camera is gone (%s); its channel is closed",
                    io_channel->device->Node().c_str(), strerror(-io_channel->device->LostError()));
        if (io_channel->owner != nullptr)
            io_channel->owner->recording = false;
    }
    return OSErr(in_err);
}

// The checks every operation on a chosen camera makes first: a channel, and a camera not gone.
template <class Operation> static OSErr OnCamera(SGChannel io_channel, Operation in_operation)
{
    if (io_channel == nullptr)
        return paramErr;
    if (IsLost(*io_channel))
        return OSErr(io_channel->device->LostError());
    return in_operation(*io_channel);
}

// Opens the named device of the list for the channel, at input 0.
static OSErr AdoptDevice(SGChannel io_channel, const V4L2CameraDevice& in_device)
{
    auto device = std::make_unique<V4L2VideoDevice>(in_device.node);
    int err = device->Open();
    if (err == 0 && !device->CanCapture())
        err = -ENODEV;
    if (err != 0)
        return OSErr(err);
    if (io_channel->owner != nullptr)
        io_channel->owner->recording = false;
    io_channel->device = std::move(device);
    io_channel->heldCount = 0;
    io_channel->deviceName = in_device.name;
    io_channel->cameraNames.clear();
    for (const V4L2Camera& camera : in_device.cameras)
        io_channel->cameraNames.push_back(camera.name);
    io_channel->input = 0;
    io_channel->lostReported = false;
    io_channel->boundsPending = false;
    io_channel->offered = io_channel->device->Formats();
    io_channel->fourcc = io_channel->width = io_channel->height = 0;
    return 0;
}

// Asks the device for the bounds' size in the preferred format it offers, or in in_fourcc.
static OSErr Negotiate(SGChannel io_channel, uint32_t in_fourcc = 0)
{
    uint32_t fourcc = in_fourcc;
    for (uint32_t candidate : kFormatPreference)
        if (fourcc == 0 && Offers(io_channel->offered, candidate))
            fourcc = candidate;
    if (!DIAG_CHECK(fourcc != 0))
        return -EINVAL;
    const Rect& r = io_channel->bounds;
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    if (width <= 0 || height <= 0)
        return paramErr;
    v4l2_format format = {};
    v4l2_pix_format& pix = format.fmt.pix;
    pix.width = uint32_t(width);
    pix.height = uint32_t(height);
    pix.pixelformat = fourcc;
    pix.field = V4L2_FIELD_NONE;
    const int err = io_channel->device->SetFormat(format);
    if (err != 0) {
        DIAG_REPORT("SGSetChannelBounds %s: VIDIOC_S_FMT %dx%d failed: %s",
                    io_channel->device->Node().c_str(), width, height, strerror(-err));
        return DeviceStatus(io_channel, err);
    }
    io_channel->boundsPending = false;
    if (pix.width == 0 || pix.height == 0 || pix.width > kMaxDimension ||
        pix.height > kMaxDimension ||
        std::find(std::begin(kFormatPreference), std::end(kFormatPreference), pix.pixelformat) ==
            std::end(kFormatPreference)) {
        DIAG_REPORT("SGSetChannelBounds %s: the driver answered an unusable format %ux%u 0x%08x",
                    io_channel->device->Node().c_str(), pix.width, pix.height, pix.pixelformat);
        io_channel->fourcc = io_channel->width = io_channel->height = 0;
        return -EINVAL;
    }
    io_channel->fourcc = pix.pixelformat;
    io_channel->width = pix.width;
    io_channel->height = pix.height;
    return 0;
}

// Two cameras on one USB bus often cannot both stream uncompressed: MJPEG is tried before
// giving up, and the user is told what to do.
static OSErr StartStreaming(SGChannel io_channel)
{
    V4L2VideoDevice& device = *io_channel->device;
    if (device.GetState() == V4L2VideoDevice::State::kStreaming)
        return 0;
    // Bounds set while the last stream ran apply now.
    if (io_channel->fourcc == 0 || io_channel->boundsPending) {
        const OSErr err = Negotiate(io_channel);
        if (err != 0)
            return err;
    }
    io_channel->heldCount = 0; // a new stream has new buffers
    int err = device.StartStreaming();
    if (err == -ENOSPC && io_channel->fourcc != V4L2_PIX_FMT_MJPEG &&
        Offers(io_channel->offered, V4L2_PIX_FMT_MJPEG) &&
        Negotiate(io_channel, V4L2_PIX_FMT_MJPEG) == 0)
        err = device.StartStreaming();
    if (err == -ENOSPC)
        DIAG_REPORT("%s: the USB bus has no room for another %sstream; plug one camera "
                    "into another USB port or lower the size",
                    io_channel->deviceName.c_str(),
                    io_channel->fourcc == V4L2_PIX_FMT_MJPEG ? "" : "uncompressed ");
    else if (err != 0)
        DIAG_REPORT("SGStartRecord %s: streaming did not start: %s", device.Node().c_str(),
                    strerror(-err));
    return DeviceStatus(io_channel, err);
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
    const V4L2CameraList cameras = V4L2CameraList::Enumerate();
    const size_t count = std::min<size_t>(cameras.Devices().size(), 0x7fff);
    auto* record =
        new SGDeviceListRecord{SInt16(count), new SGDeviceName[std::max<size_t>(count, 1)]};
    for (size_t d = 0; d < count; ++d) {
        const V4L2CameraDevice& device = cameras.Devices()[d];
        SGDeviceName& entry = record->entry[d];
        entry = {};
        ToPascal(device.name, entry.name);
        const size_t inputs = std::min<size_t>(device.cameras.size(), 0x7fff);
        if (inputs == 0)
            continue;
        auto* list = new SGDeviceInputListRecord{SInt16(inputs), new SGDeviceInputName[inputs]};
        for (size_t i = 0; i < inputs; ++i)
            ToPascal(device.cameras[i].name, list->entry[i].name);
        entry.inputs = new SGDeviceInputListRecord*(list);
    }
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
    const V4L2CameraList cameras = V4L2CameraList::Enumerate();
    for (const V4L2CameraDevice& device : cameras.Devices()) {
        auto channel = std::make_unique<SGChannelRecord>();
        if (AdoptDevice(channel.get(), device) != 0)
            continue; // gone since it was listed
        channel->owner = component;
        component->channel = *out_channel = channel.release();
        return 0;
    }
    return -ENODEV;
}

OSErr SGDisposeChannel(SeqGrabComponent component, SGChannel channel)
{
    if (component == nullptr || channel == nullptr || component->channel != channel)
        return paramErr;
    component->recording = false;
    component->channel = nullptr;
    delete channel;
    return 0;
}

OSErr SGSetChannelDevice(SGChannel channel, ConstStr255Param name)
{
    if (channel == nullptr || name == nullptr)
        return paramErr;
    if (channel->device->GetState() == V4L2VideoDevice::State::kStreaming)
        return -EBUSY;
    const V4L2CameraList cameras = V4L2CameraList::Enumerate();
    const V4L2CameraDevice* device = cameras.FindDevice(FromPascal(name));
    return device != nullptr ? AdoptDevice(channel, *device) : OSErr(-ENOENT);
}

OSErr SGSetChannelDeviceInput(SGChannel channel, short input)
{
    return OnCamera(channel, [input](SGChannelRecord& io_channel) -> OSErr {
        if (input < 0)
            return paramErr;
        if (io_channel.device->GetState() == V4L2VideoDevice::State::kStreaming)
            return -EBUSY;
        const int err = io_channel.device->SetInput(input);
        if (err != 0)
            return DeviceStatus(&io_channel, err);
        io_channel.input = input;
        // Another input may offer other sizes: what was negotiated is asked again.
        return io_channel.fourcc != 0 ? Negotiate(&io_channel) : OSErr(0);
    });
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
    return OnCamera(channel, [bounds](SGChannelRecord& io_channel) -> OSErr {
        if (bounds == nullptr || bounds->right <= bounds->left || bounds->bottom <= bounds->top)
            return paramErr;
        io_channel.bounds = *bounds;
        // The format cannot change under mapped buffers: the next start negotiates it.
        if (io_channel.device->GetState() == V4L2VideoDevice::State::kStreaming) {
            io_channel.boundsPending = true;
            return 0;
        }
        return Negotiate(&io_channel);
    });
}

OSErr SGSetChannelUsage(SGChannel channel, long usage)
{
    if (channel == nullptr)
        return paramErr;
    channel->usage = usage;
    return 0;
}

// The channel names its device by the camera in use, as the device list names that camera, so
// that the current camera is found in the list by its name.
OSErr SGGetChannelDeviceAndInputNames(SGChannel channel, StringPtr deviceName, StringPtr inputName,
                                      short* inputNumber)
{
    if (channel == nullptr)
        return paramErr;
    const size_t input = size_t(channel->input);
    const bool hasCamera = input < channel->cameraNames.size();
    if (deviceName != nullptr)
        ToPascal(hasCamera ? channel->cameraNames[input] : channel->deviceName, deviceName);
    if (inputName != nullptr)
        ToPascal(hasCamera ? channel->cameraNames[input] : std::string(), inputName);
    if (inputNumber != nullptr)
        *inputNumber = channel->input;
    return 0;
}

OSErr SGGetChannelSampleDescription(SGChannel channel, SGSampleDescription* out_description)
{
    return OnCamera(channel, [out_description](SGChannelRecord& io_channel) -> OSErr {
        if (out_description == nullptr)
            return paramErr;
        out_description->fourcc = io_channel.fourcc;
        out_description->width = SInt16(io_channel.width);
        out_description->height = SInt16(io_channel.height);
        return 0;
    });
}

// ---- recording

// Streaming starts here rather than at SGStartRecord, so that a format changed to get room on
// the bus is already in the sample description the caller reads before it starts.
OSErr SGPrepare(SeqGrabComponent component, Boolean, Boolean prepareForRecord)
{
    if (component == nullptr)
        return paramErr;
    return OnCamera(component->channel, [prepareForRecord](SGChannelRecord& io_channel) {
        return prepareForRecord ? StartStreaming(&io_channel) : OSErr(0);
    });
}

OSErr SGStartRecord(SeqGrabComponent component)
{
    if (component == nullptr)
        return paramErr;
    return OnCamera(component->channel, [component](SGChannelRecord& io_channel) {
        const OSErr err = StartStreaming(&io_channel);
        component->recording = err == 0;
        return err;
    });
}

OSErr SGStop(SeqGrabComponent component)
{
    if (component == nullptr)
        return paramErr;
    component->recording = false;
    if (component->channel != nullptr) {
        component->channel->heldCount = 0;
        component->channel->device->StopStreaming();
    }
    return 0;
}

// Gives the oldest held frames back to the driver until at most in_keep are held.
static int ReturnHeldFrames(SGChannelRecord& io_channel, int in_keep)
{
    int returned = 0;
    for (; io_channel.heldCount - returned > in_keep; ++returned)
        if (const int err = io_channel.device->Queue(io_channel.held[returned].index); err != 0) {
            io_channel.heldCount = 0;
            return err;
        }
    std::copy(io_channel.held + returned, io_channel.held + io_channel.heldCount, io_channel.held);
    io_channel.heldCount -= returned;
    io_channel.passedOver += UInt32(returned);
    return 0;
}

OSErr SGIdle(SeqGrabComponent component)
{
    if (component == nullptr)
        return paramErr;
    if (component->channel == nullptr)
        return 0;
    return OnCamera(component->channel, [component](SGChannelRecord& io_channel) -> OSErr {
        SGChannel channel = &io_channel;
        V4L2VideoDevice& device = *channel->device;
        if (!component->recording || device.GetState() != V4L2VideoDevice::State::kStreaming)
            return 0;
        // Frames held before holding was switched off go back first.
        if (const int err = ReturnHeldFrames(io_channel, component->holdFrames); err != 0)
            return DeviceStatus(channel, err);
        const int polled = device.Poll(0);
        if (polled <= 0)
            return DeviceStatus(channel, polled);
        // At most one round of the buffers, so a fast device cannot keep the caller here.
        for (uint32_t round = 0; round < V4L2VideoDevice::kMaxBuffers; ++round) {
            V4L2VideoDevice::Frame frame;
            int err = device.Dequeue(frame);
            if (err == -EAGAIN)
                break;
            if (err != 0)
                return DeviceStatus(channel, err);
            if (frame.data == nullptr)
                continue; // not a buffer of ours: nothing to read and nothing to queue again
            if (component->holdFrames > 0 && !frame.corrupt && frame.bytes > 0) {
                channel->held[channel->heldCount++] = frame;
                if ((err = ReturnHeldFrames(*channel, component->holdFrames)) != 0)
                    return DeviceStatus(channel, err);
                continue;
            }
            OSErr delivered = 0;
            if (frame.corrupt)
                // The driver says the data is damaged: decoding it would show garbage.
                DIAG_REPORT("%s: dropped damaged frame %ld", channel->deviceName.c_str(),
                            ++channel->corruptFrames);
            else if (component->proc != nullptr && frame.bytes > 0)
                delivered = component->proc(channel, frame.data, long(frame.bytes), frame.timeUs,
                                            component->refCon);
            // The callback may have stopped the grabber or disposed the channel.
            if (component->channel != channel ||
                device.GetState() != V4L2VideoDevice::State::kStreaming)
                return delivered;
            err = device.Queue(frame.index);
            if (err != 0)
                return DeviceStatus(channel, err);
            // The caller hears of a frame its callback could not take; the next frames come
            // at the next idle.
            if (delivered != 0)
                return delivered;
        }
        return 0;
    });
}

OSErr SGSetHoldFrames(SeqGrabComponent component, int count)
{
    static_assert(kSGMaxHeldFrames < int(V4L2VideoDevice::kMaxBuffers));
    if (component == nullptr || count < 0 || count > kSGMaxHeldFrames)
        return paramErr;
    component->holdFrames = count;
    return 0;
}

// The held frames of a channel still streaming; none once its buffers are gone.
static int HeldFrames(SeqGrabComponent component)
{
    SGChannel channel = component != nullptr ? component->channel : nullptr;
    if (channel == nullptr)
        return 0;
    if (channel->device->GetState() != V4L2VideoDevice::State::kStreaming)
        channel->heldCount = 0;
    return channel->heldCount;
}

int SGGetHeldFrameTimes(SeqGrabComponent component, UInt64* out_timesUs, int capacity)
{
    const int count = std::min(HeldFrames(component), std::max(capacity, 0));
    for (int n = 0; n < count; ++n)
        out_timesUs[n] = component->channel->held[n].timeUs;
    return count;
}

OSErr SGTakeHeldFrame(SeqGrabComponent component, int n, UInt32* out_passedOver)
{
    if (out_passedOver != nullptr)
        *out_passedOver = 0;
    if (n < 0 || n >= HeldFrames(component))
        return paramErr;
    SGChannel channel = component->channel;
    const V4L2VideoDevice::Frame frame = channel->held[n];
    const OSErr delivered = component->proc != nullptr
                                ? component->proc(channel, frame.data, long(frame.bytes),
                                                  frame.timeUs, component->refCon)
                                : OSErr(0);
    // The callback may have stopped the grabber or disposed the channel: nothing is held then.
    if (component->channel != channel || HeldFrames(component) == 0)
        return delivered;
    const int err = ReturnHeldFrames(*channel, channel->heldCount - n - 1);
    if (out_passedOver != nullptr)
        *out_passedOver = err == 0 ? channel->passedOver - 1 : 0; // all but the one delivered
    channel->passedOver = 0;
    return err != 0 ? DeviceStatus(channel, err) : delivered;
}
