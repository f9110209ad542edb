#include "PipeWireOutput.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <iterator>
#include <utility>

#include <pipewire/pipewire.h>
#include <spa/param/buffers.h>
#include <spa/param/video/format-utils.h>

#include "ChannelFrameFit.h"
#include "StampedChannelWriter.h"
#include "shared_camera_buffer.h"
#include "stamped_channel_layout.h"

namespace {

// A 1280 x 720 broadcast, the stamped channel's largest, is offered at the classic size too.
constexpr int kLargeWidth = kStampedChannelMaxWidth;
constexpr int kLargeHeight = kStampedChannelMaxHeight;
constexpr int kSmallWidth = kSharedCameraFrameWidth;
constexpr int kSmallHeight = kSharedCameraFrameHeight;
// Enough for the consumer to hold one while we fill the next, and no more memory than that.
constexpr int kBuffers = 4;

struct FormatName
{
    spa_video_format video;
    OutputFormat ours;
};
// The first is what a consumer that does not care gets: every camera program reads YUY2.
constexpr FormatName kFormats[] = {{SPA_VIDEO_FORMAT_YUY2, OutputFormat::kYUYV},
                                   {SPA_VIDEO_FORMAT_I420, OutputFormat::kI420},
                                   {SPA_VIDEO_FORMAT_BGRx, OutputFormat::kBGRA}};

bool IsLarge(int in_width, int in_height)
{
    return in_width == kLargeWidth && in_height == kLargeHeight;
}

// One format at one size, nothing left to choose: WebRTC's PipeWire capture, which browsers use,
// takes only such offers and drops a camera that has none.
const spa_pod* BuildFormat(spa_pod_builder& io_builder, spa_video_format in_format, int in_width,
                           int in_height, int in_framesPerSecond)
{
    const spa_rectangle size = {uint32_t(in_width), uint32_t(in_height)};
    const spa_fraction rate = {uint32_t(in_framesPerSecond), 1};
    return static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &io_builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
        SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format, SPA_POD_Id(in_format),
        SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size), SPA_FORMAT_VIDEO_framerate,
        SPA_POD_Fraction(&rate)));
}

// Shared memory the daemon passes on to the consumer, made once per negotiation.
const spa_pod* BuildBuffers(spa_pod_builder& io_builder, size_t in_frameBytes, size_t in_rowBytes)
{
    return static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &io_builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
        SPA_POD_CHOICE_RANGE_Int(kBuffers, 2, kBuffers), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
        SPA_PARAM_BUFFERS_size, SPA_POD_Int(int(in_frameBytes)), SPA_PARAM_BUFFERS_stride,
        SPA_POD_Int(int(in_rowBytes)), SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int(1 << SPA_DATA_MemFd)));
}

// A header per buffer, so consumers see sequence numbers and when each frame was filled.
const spa_pod* BuildHeaderMeta(spa_pod_builder& io_builder)
{
    return static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &io_builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
        SPA_POD_Id(SPA_META_Header), SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_header))));
}

} // namespace

struct PipeWireOutput::Listeners
{
    spa_hook core = {};
    spa_hook stream = {};
    uint32_t sequence = 0;

    static const pw_core_events kCore;
    static const pw_stream_events kStream;

    static void CoreError(void* io_self, uint32_t in_id, int, int in_result, const char*)
    {
        // The daemon went away (restarted, say): it comes back as a new connection.
        if (in_id == PW_ID_CORE && in_result == -EPIPE)
            static_cast<PipeWireOutput*>(io_self)->ScheduleReconnect();
    }
    static void StateChanged(void* io_self, pw_stream_state, pw_stream_state in_state, const char*)
    {
        static_cast<PipeWireOutput*>(io_self)->mStreaming = in_state == PW_STREAM_STATE_STREAMING;
    }
    static void ParamChanged(void* io_self, uint32_t in_id, const spa_pod* in_param)
    {
        if (in_id == SPA_PARAM_Format)
            static_cast<PipeWireOutput*>(io_self)->Negotiate(in_param);
    }
    static void RemoveBuffer(void* io_self, pw_buffer* in_buffer)
    {
        auto* self = static_cast<PipeWireOutput*>(io_self);
        if (self->mSpare == in_buffer)
            self->mSpare = nullptr;
    }
    static void Retry(void* io_self, uint64_t)
    {
        auto* self = static_cast<PipeWireOutput*>(io_self);
        self->Disconnect();
        std::string error;
        if (!self->Connect(error))
            self->ScheduleReconnect();
    }
};

// Assigned rather than listed: the structs gain members from one release to the next.
const pw_core_events PipeWireOutput::Listeners::kCore = [] {
    pw_core_events events = {};
    events.version = PW_VERSION_CORE_EVENTS;
    events.error = CoreError;
    return events;
}();

const pw_stream_events PipeWireOutput::Listeners::kStream = [] {
    pw_stream_events events = {};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.state_changed = StateChanged;
    events.param_changed = ParamChanged;
    events.remove_buffer = RemoveBuffer;
    return events;
}();

PipeWireOutput::PipeWireOutput() : mListeners(std::make_unique<Listeners>())
{
    pw_init(nullptr, nullptr);
}

PipeWireOutput::~PipeWireOutput()
{
    if (mLoop != nullptr) {
        pw_thread_loop_lock(mLoop);
        Disconnect();
        pw_thread_loop_unlock(mLoop);
        pw_thread_loop_stop(mLoop);
    }
    if (mRetry != nullptr)
        pw_loop_destroy_source(pw_thread_loop_get_loop(mLoop), mRetry);
    if (mContext != nullptr)
        pw_context_destroy(mContext);
    if (mLoop != nullptr)
        pw_thread_loop_destroy(mLoop);
    pw_deinit();
}

std::string PipeWireOutput::NodeName(const std::string& in_deviceName)
{
    std::string name = in_deviceName;
    for (char& c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '.' || c == '_' || c == '-'))
            c = '_';
    return name;
}

std::string PipeWireOutput::Description() const
{
    return "the PipeWire camera \"" + NodeName(mSettings.deviceName) + "\"";
}

bool PipeWireOutput::Open(const OutputSettings& in_settings, std::string& out_error, std::string&)
{
    if (in_settings.format != OutputFormat::kARGB || in_settings.width <= 0 ||
        in_settings.height <= 0 || in_settings.framesPerSecond <= 0) {
        out_error = "the PipeWire camera takes A, R, G, B frames of a known size and rate";
        return false;
    }
    mSettings = in_settings;
    SetFrameSize(in_settings.width, in_settings.height);
    mLoop = pw_thread_loop_new("parallax3d-pw", nullptr);
    if (mLoop != nullptr)
        mContext = pw_context_new(pw_thread_loop_get_loop(mLoop), nullptr, 0);
    if (mContext != nullptr)
        mRetry = pw_loop_add_timer(pw_thread_loop_get_loop(mLoop), Listeners::Retry, this);
    if (mRetry == nullptr || pw_thread_loop_start(mLoop) != 0) {
        out_error = "PipeWire could not be set up: " + std::string(strerror(errno));
        return false;
    }
    pw_thread_loop_lock(mLoop);
    const bool connected = Connect(out_error);
    pw_thread_loop_unlock(mLoop);
    return connected;
}

bool PipeWireOutput::Connect(std::string& out_error)
{
    mCore = pw_context_connect(mContext, nullptr, 0);
    if (mCore == nullptr) {
        // The library's errno here ("Host is down") tells a user nothing.
        out_error = "no PipeWire answers, so there is no PipeWire camera; is the user's "
                    "PipeWire running?";
        return false;
    }
    pw_core_add_listener(mCore, &mListeners->core, &Listeners::kCore, this);

    const std::string name = NodeName(mSettings.deviceName);
    pw_properties* properties = pw_properties_new(
        PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_MEDIA_ROLE, "Camera",
        PW_KEY_MEDIA_CLASS, "Video/Source", PW_KEY_NODE_NAME, name.c_str(), PW_KEY_NODE_NICK,
        mSettings.deviceName.c_str(), PW_KEY_NODE_DESCRIPTION, mSettings.deviceName.c_str(),
        nullptr);
    mStream = pw_stream_new(mCore, mSettings.deviceName.c_str(), properties);
    if (mStream == nullptr) {
        out_error = "PipeWire refused the camera's stream: " + std::string(strerror(errno));
        Disconnect();
        return false;
    }
    pw_stream_add_listener(mStream, &mListeners->stream, &Listeners::kStream, this);

    // The formats in the order above at the source's size first, which a consumer that does not
    // care gets; a 1280 x 720 source offers 640 x 480 too, for consumers that want less.
    uint8_t memory[2048];
    spa_pod_builder builder;
    spa_pod_builder_init(&builder, memory, sizeof(memory));
    const spa_pod* params[2 * std::size(kFormats)];
    const std::pair<int, int> sizes[] = {{mSettings.width, mSettings.height},
                                         {kSmallWidth, kSmallHeight}};
    const size_t sizeCount = IsLarge(mSettings.width, mSettings.height) ? 2 : 1;
    uint32_t count = 0;
    for (size_t i = 0; i < sizeCount; ++i)
        for (const FormatName& format : kFormats)
            params[count++] = BuildFormat(builder, format.video, sizes[i].first, sizes[i].second,
                                          mSettings.framesPerSecond);
    // A driver: the graph runs when a frame is ready, not on some other node's clock.
    const int result = pw_stream_connect(
        mStream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
        pw_stream_flags(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS), params, count);
    if (result < 0) {
        out_error = "PipeWire refused the camera's stream: " + std::string(strerror(-result));
        Disconnect();
        return false;
    }
    return true;
}

void PipeWireOutput::Disconnect()
{
    mStreaming = false;
    mSpare = nullptr;
    mConverter.reset();
    if (mStream != nullptr) {
        spa_hook_remove(&mListeners->stream);
        pw_stream_destroy(mStream);
        mStream = nullptr;
    }
    if (mCore != nullptr) {
        spa_hook_remove(&mListeners->core);
        pw_core_disconnect(mCore);
        mCore = nullptr;
    }
}

void PipeWireOutput::ScheduleReconnect()
{
    mStreaming = false;
    // Not from inside the core's own callback: the timer tears down and connects anew.
    timespec soon = {0, long(kRetryMilliseconds) * 1000000};
    pw_loop_update_timer(pw_thread_loop_get_loop(mLoop), mRetry, &soon, nullptr, false);
}

void PipeWireOutput::Negotiate(const spa_pod* in_format)
{
    mConverter.reset();
    spa_video_info_raw info = {};
    if (in_format == nullptr || spa_format_video_raw_parse(in_format, &info) < 0)
        return;
    const int width = int(info.size.width), height = int(info.size.height);
    const bool offered = (width == mSettings.width && height == mSettings.height) ||
                         (IsLarge(mSettings.width, mSettings.height) && width == kSmallWidth &&
                          height == kSmallHeight);
    const FormatName* format = nullptr;
    for (const FormatName& candidate : kFormats)
        if (candidate.video == info.format)
            format = &candidate;
    if (!offered || format == nullptr) {
        pw_stream_set_error(mStream, -EINVAL, "a format that was not offered");
        return;
    }
    mConverter = std::make_unique<FrameConverter>(format->ours, width, height);
    mWidth = width;
    mHeight = height;
    const bool fitted = width != mSettings.width || height != mSettings.height;
    mFitted.assign(fitted ? size_t(width) * size_t(height) * 4 : 0, 0);

    uint8_t memory[1024];
    spa_pod_builder builder;
    spa_pod_builder_init(&builder, memory, sizeof(memory));
    const spa_pod* params[] = {
        BuildBuffers(builder, mConverter->OutputBytes(), OutputRowBytes(format->ours, width)),
        BuildHeaderMeta(builder)};
    pw_stream_update_params(mStream, params, 2);
}

bool PipeWireOutput::IsStreaming() const
{
    if (mLoop == nullptr)
        return false;
    pw_thread_loop_lock(mLoop);
    const bool streaming = mStreaming && mConverter != nullptr;
    pw_thread_loop_unlock(mLoop);
    return streaming;
}

bool PipeWireOutput::WritePixels(const uint8_t* in_argb, size_t in_rowBytes,
                                 const std::function<bool()>& in_whole, std::string&)
{
    if (mLoop == nullptr)
        return true; // never opened: nothing to give frames to
    pw_thread_loop_lock(mLoop);
    // Nothing is converted while no consumer streams.
    if (mStreaming && mConverter != nullptr) {
        // Filled here rather than in the process callback, which runs later on the loop's
        // thread, when the frame may be gone; the trigger then runs the graph.
        FillBuffer(in_argb, in_rowBytes, in_whole);
        pw_stream_trigger_process(mStream);
    }
    pw_thread_loop_unlock(mLoop);
    return true;
}

void PipeWireOutput::FillBuffer(const uint8_t* in_argb, size_t in_rowBytes,
                                const std::function<bool()>& in_whole)
{
    pw_buffer* buffer = mSpare != nullptr ? mSpare : pw_stream_dequeue_buffer(mStream);
    mSpare = nullptr;
    if (buffer == nullptr)
        return; // the consumer holds them all: this frame is dropped
    spa_buffer* const spa = buffer->buffer;
    spa_data& data = spa->datas[0];
    const size_t bytes = mConverter->OutputBytes();
    if (data.data == nullptr || data.maxsize < bytes) {
        data.chunk->size = 0;
        pw_stream_queue_buffer(mStream, buffer);
        return;
    }
    const uint8_t* argb = in_argb;
    size_t rowBytes = in_rowBytes;
    if (!mFitted.empty()) {
        FitChannelFrameInto(in_argb, int(in_rowBytes), mSettings.width, mSettings.height,
                            mFitted.data(), mWidth * 4, mWidth, mHeight);
        argb = mFitted.data();
        rowBytes = size_t(mWidth) * 4;
    }
    mConverter->Convert(argb, rowBytes, static_cast<uint8_t*>(data.data));
    if (!in_whole()) {
        mSpare = buffer; // kept for the next frame: a consumer is never sent a torn one
        return;
    }
    data.chunk->offset = 0;
    data.chunk->size = uint32_t(bytes);
    data.chunk->stride = int32_t(OutputRowBytes(mConverter->Format(), mWidth));
    auto* header = static_cast<spa_meta_header*>(
        spa_buffer_find_meta_data(spa, SPA_META_Header, sizeof(spa_meta_header)));
    if (header != nullptr) {
        header->flags = 0;
        header->pts = int64_t(StampedChannelNowNs());
        header->dts_offset = 0;
        header->seq = mListeners->sequence++;
    }
    pw_stream_queue_buffer(mStream, buffer);
}
