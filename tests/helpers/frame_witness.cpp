// frame_witness SECONDS FILE:argb|rgba ...: watches the shared camera channel, as a reader
// would, and keeps every frame it sees there; meanwhile reads the frame streams other readers
// write into FILE (a FIFO: parallax3d-vcam's argb, ffmpeg's rgba). A reader's frame the channel
// held whole is good; one whose every band of rows the channel held, but not all in one frame,
// is torn; one with a band the witness never saw went by while it was not looking (a busy
// machine) and is counted apart. Each publication flips the channel's current buffer: the flips
// seen count the frames broadcast, also when one picture is broadcast again, and their rate from
// the first flip seen to the last.
//   frame_witness: channel_frames=N checked=N torn=N unwitnessed=N published=N published_per_s=R
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "ChannelFrames.h"

using namespace p3dtest;

namespace {

constexpr int kBands = 8; // of 60 rows
constexpr size_t kBandBytes = kSharedCameraFrameSizeBytes / kBands;
using BandHashes = std::array<uint64_t, kBands>;

// A,R,G,B frames, alpha taken as opaque: readers may write their own alpha.
BandHashes Hashes(const UInt8* frame)
{
    BandHashes hashes;
    for (int band = 0; band < kBands; ++band) {
        uint64_t hash = 1469598103934665603ull;
        const UInt8* bytes = frame + size_t(band) * kBandBytes;
        for (size_t i = 0; i < kBandBytes; i += 8) {
            uint64_t word;
            memcpy(&word, bytes + i, 8);
            hash = (hash ^ (word | 0x000000FF000000FFull)) * 1099511628211ull;
        }
        hashes[size_t(band)] = hash;
    }
    return hashes;
}

struct Stream
{
    std::string path;
    bool rgba = false;
    std::vector<BandHashes> frames;
};

void ReadStream(Stream& stream)
{
    FILE* file = fopen(stream.path.c_str(), "rb");
    if (!file)
        return;
    std::vector<UInt8> frame(kSharedCameraFrameSizeBytes);
    while (fread(frame.data(), 1, frame.size(), file) == frame.size()) {
        if (stream.rgba)
            for (size_t i = 0; i < frame.size(); i += 4) {
                const UInt8 alpha = frame[i + 3];
                memmove(&frame[i + 1], &frame[i], 3);
                frame[i] = alpha;
            }
        stream.frames.push_back(Hashes(frame.data()));
    }
    fclose(file);
}

// Whether a sparse sample of the frame differs from the last one taken: cheap enough to ask
// every millisecond or two, so no frame goes by unseen.
bool Changed(const UInt8* frame, std::vector<UInt32>& sample)
{
    bool changed = false;
    size_t k = 0;
    for (size_t i = 0; i < kSharedCameraFrameSizeBytes; i += 4 * 61, ++k) {
        UInt32 word;
        memcpy(&word, frame + i, 4);
        changed = changed || word != sample[k];
        sample[k] = word;
    }
    return changed;
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
        streams.push_back({arg.substr(0, colon), order == "rgba", {}});
    }
    ComponentExports exports;
    if (!exports.loaded()) {
        fprintf(stderr, "frame_witness: the component did not load\n");
        return 1;
    }
    std::vector<std::thread> readers;
    for (Stream& stream : streams)
        readers.emplace_back(ReadStream, std::ref(stream));

    // Every frame the channel held, whole and band by band; copied out under its lock.
    std::unordered_set<uint64_t> whole;
    std::array<std::unordered_set<uint64_t>, kBands> bands;
    std::vector<UInt8> copy(kSharedCameraFrameSizeBytes);
    std::vector<UInt32> sample(kSharedCameraFrameSizeBytes / (4 * 61) + 1, 0);
    const auto stop = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    size_t published = 0;
    const void* current = nullptr;
    std::chrono::steady_clock::time_point firstFlip, lastFlip;
    const auto Whole = [](const BandHashes& hashes) {
        uint64_t hash = 0;
        for (uint64_t band : hashes)
            hash = (hash ^ band) * 1099511628211ull;
        return hash;
    };
    while (std::chrono::steady_clock::now() < stop) {
        SHARED_CAMERA_BUFFER record = ComponentExports::Record();
        if (exports.GetCurrentReadBuffer(&record) && record.frameBufferPtr != current) {
            lastFlip = std::chrono::steady_clock::now();
            if (current && published++ == 0)
                firstFlip = lastFlip;
            current = record.frameBufferPtr;
        }
        if (record.frameBufferPtr && exports.LockFrameBuffer(record.frameBufferPtr)) {
            const bool changed = Changed(static_cast<const UInt8*>(record.frameBufferPtr), sample);
            if (changed)
                memcpy(copy.data(), record.frameBufferPtr, copy.size());
            exports.UnLockFrameBuffer(record.frameBufferPtr);
            if (changed) {
                const BandHashes hashes = Hashes(copy.data());
                whole.insert(Whole(hashes));
                for (int band = 0; band < kBands; ++band)
                    bands[size_t(band)].insert(hashes[size_t(band)]);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    for (std::thread& reader : readers)
        reader.join();
    size_t checked = 0, torn = 0, unwitnessed = 0;
    for (const Stream& stream : streams)
        for (const BandHashes& frame : stream.frames) {
            ++checked;
            if (whole.count(Whole(frame)))
                continue;
            bool known = true;
            for (int band = 0; band < kBands; ++band)
                known = known && bands[size_t(band)].count(frame[size_t(band)]);
            ++(known ? torn : unwitnessed);
        }
    const double flipSeconds = std::chrono::duration<double>(lastFlip - firstFlip).count();
    printf("frame_witness: channel_frames=%zu checked=%zu torn=%zu unwitnessed=%zu published=%zu "
           "published_per_s=%.2f\n",
           whole.size(), checked, torn, unwitnessed, published,
           published > 1 && flipSeconds > 0 ? double(published - 1) / flipSeconds : 0.0);
    return torn == 0 ? 0 : 1;
}
