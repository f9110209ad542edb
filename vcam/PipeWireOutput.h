// Frames offered as a PipeWire camera: a video source node that consumers find without any
// kernel module. It takes A, R, G, B frames and converts each one only while a consumer
// streams, straight into the consumer's shared-memory buffer, in the format and size it chose.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "FrameConverter.h"
#include "SelfConvertingOutput.h"

struct pw_thread_loop;
struct pw_context;
struct pw_core;
struct pw_stream;
struct pw_buffer;
struct spa_pod;
struct spa_source;

class PipeWireOutput : public SelfConvertingOutput
{
public:
    // After the daemon went away, how often a new connection is tried.
    static constexpr int kRetryMilliseconds = 250;

    PipeWireOutput();
    ~PipeWireOutput() override;
    PipeWireOutput(const PipeWireOutput&) = delete;
    PipeWireOutput& operator=(const PipeWireOutput&) = delete;

    // in_settings.format must be kARGB: the consumer picks the format. The node offers
    // in_settings' size, and 640 x 480 beside 1280 x 720.
    bool Open(const OutputSettings& in_settings, std::string& out_error,
              std::string& out_notice) override;
    bool WritePixels(const uint8_t* in_argb, size_t in_rowBytes,
                     const std::function<bool()>& in_whole, std::string& out_error) override;
    std::string Description() const override;

    // Whether a consumer streams, so that frames are converted.
    bool IsStreaming() const;

    // The node's name, stable across runs: the device name with anything but letters, digits,
    // '.', '_' and '-' made '_'.
    static std::string NodeName(const std::string& in_deviceName);

private:
    struct Listeners; // the library's hooks and the callbacks behind them

    // The core and the stream; false with the reason when the daemon cannot be reached.
    bool Connect(std::string& out_error);
    void Disconnect();
    void ScheduleReconnect();
    void Negotiate(const spa_pod* in_format);
    // One frame converted into a free buffer and queued; dropped when none is free or it did
    // not stay whole.
    void FillBuffer(const uint8_t* in_argb, size_t in_rowBytes,
                    const std::function<bool()>& in_whole);

    OutputSettings mSettings;
    pw_thread_loop* mLoop = nullptr;
    pw_context* mContext = nullptr;
    pw_core* mCore = nullptr;
    pw_stream* mStream = nullptr;
    spa_source* mRetry = nullptr;
    std::unique_ptr<Listeners> mListeners;

    // Guarded by the loop's lock.
    bool mStreaming = false;
    std::unique_ptr<FrameConverter> mConverter; // for the format and size negotiated
    int mWidth = 0;                             // that size
    int mHeight = 0;
    std::vector<uint8_t> mFitted; // A,R,G,B at that size when it differs
    pw_buffer* mSpare = nullptr;  // dequeued for a frame that was dropped, filled next
};
