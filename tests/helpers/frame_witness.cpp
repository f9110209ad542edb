// frame_witness SECONDS FILE:argb|rgba ...: watches the shared camera channel, as a reader
// would, and keeps every frame it held; meanwhile reads the frame streams other readers write
// into FILE (a FIFO: parallax3d-vcam's argb, ffmpeg's rgba), and at the end says how many of
// their frames the channel never held: torn ones, made of two pictures.
//   frame_witness: channel_frames=N checked=N torn=N
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ChannelFrames.h"

using namespace p3dtest;

namespace {

// The colours alone, so frames in any byte order compare; red is the offset of R in a pixel.
uint64_t ColourHash(const UInt8* frame, size_t red)
{
    uint64_t hash = 1469598103934665603ull;
    for (size_t i = 0; i < kSharedCameraFrameSizeBytes; i += 4) {
        const uint32_t rgb =
            uint32_t(frame[i + red]) << 16 | uint32_t(frame[i + red + 1]) << 8 | frame[i + red + 2];
        hash = (hash ^ rgb) * 1099511628211ull;
    }
    return hash;
}

struct Stream
{
    std::string path;
    size_t red = 1;
    std::vector<uint64_t> frames;
};

void ReadStream(Stream& stream)
{
    FILE* file = fopen(stream.path.c_str(), "rb");
    if (!file)
        return;
    std::vector<UInt8> frame(kSharedCameraFrameSizeBytes);
    while (fread(frame.data(), 1, frame.size(), file) == frame.size())
        stream.frames.push_back(ColourHash(frame.data(), stream.red));
    fclose(file);
}

} // namespace

int main(int argc, char** argv)
{
    char* end = nullptr;
    const long seconds = argc >= 3 ? strtol(argv[1], &end, 10) : 0;
    if (argc < 3 || *end != '\0' || seconds <= 0) {
        fprintf(stderr, "usage: frame_witness SECONDS FILE:argb|rgba ...\n");
        return 2;
    }
    std::vector<Stream> streams;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const size_t colon = arg.rfind(':');
        const std::string order = colon == std::string::npos ? "" : arg.substr(colon + 1);
        if (order != "argb" && order != "rgba") {
            fprintf(stderr, "frame_witness: \"%s\" is not FILE:argb or FILE:rgba\n", argv[i]);
            return 2;
        }
        streams.push_back({arg.substr(0, colon), order == "argb" ? 1u : 0u, {}});
    }
    ComponentExports exports;
    if (!exports.loaded()) {
        fprintf(stderr, "frame_witness: the component did not load\n");
        return 1;
    }
    std::vector<std::thread> readers;
    for (Stream& stream : streams)
        readers.emplace_back(ReadStream, std::ref(stream));

    // Every frame the channel held: copied out under its lock, often enough to see each one.
    std::set<uint64_t> held;
    std::vector<UInt8> copy(kSharedCameraFrameSizeBytes);
    const auto stop = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < stop) {
        SHARED_CAMERA_BUFFER record = ComponentExports::Record();
        if (exports.GetCurrentReadBuffer(&record) &&
            exports.LockFrameBuffer(record.frameBufferPtr)) {
            memcpy(copy.data(), record.frameBufferPtr, copy.size());
            exports.UnLockFrameBuffer(record.frameBufferPtr);
            held.insert(ColourHash(copy.data(), 1));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    for (std::thread& reader : readers)
        reader.join();
    size_t checked = 0, torn = 0;
    for (const Stream& stream : streams) {
        checked += stream.frames.size();
        torn += size_t(std::count_if(stream.frames.begin(), stream.frames.end(),
                                     [&](uint64_t frame) { return !held.count(frame); }));
    }
    printf("frame_witness: channel_frames=%zu checked=%zu torn=%zu\n", held.size(), checked, torn);
    return torn == 0 ? 0 : 1;
}
