// A caller's SRT connection in live mode, carrying a recording's MPEG-TS stream. Our own rather
// than libavformat's so that a server that went away without a word is noticed in 2 s from its
// missing acknowledgements, not in SRT's 5 s, and the stream is soon back when it returns.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

// srt://host:port with the options servers ask for: ?streamid=…, ?passphrase=…, ?pbkeylen=16|24|32,
// ?latency=… (microseconds, as libavformat takes it).
struct SrtAddress
{
    std::string host;
    int port = 0;
    std::string streamId;
    std::string passphrase;
    int keyLength = 0;
    int latencyMs = -1; // -1: SRT's own
};

// False with the reason for the user when the URL is not one of those.
bool ParseSrtUrl(const std::string& in_url, SrtAddress& out_address, std::string& out_message);

class SrtCaller
{
public:
    // An SRT live message: seven MPEG-TS packets.
    static constexpr int kPayloadBytes = 1316;

    SrtCaller() = default;
    ~SrtCaller(); // closes
    SrtCaller(const SrtCaller&) = delete;
    SrtCaller& operator=(const SrtCaller&) = delete;

    // False with the reason when the server does not answer or refuses.
    bool Connect(const SrtAddress& in_address, std::string& out_message);
    // One message of at most kPayloadBytes; false with the reason once the connection broke or
    // the server went silent.
    bool Send(const uint8_t* in_data, int in_size, std::string& out_message);
    // What was sent is delivered first, for a few seconds at most.
    void Close();

private:
    bool ServerAnswers(std::string& out_message);

    int mSocket = -1; // SRTSOCKET
    bool mStarted = false;
    bool mBroken = false; // a send failed or the server went silent
    int mAcks = 0;        // acknowledgements received so far
    std::chrono::steady_clock::time_point mLastAck, mLastSend, mNextCheck;
};
