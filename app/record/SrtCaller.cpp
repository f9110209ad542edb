#include "SrtCaller.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <netdb.h>
#include <srt/srt.h>

#include "CoreMachDebugLog.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

// A server that acknowledged nothing this long while frames went out is gone.
constexpr std::chrono::milliseconds kSilentServer{2000};
constexpr std::chrono::milliseconds kAckCheckEvery{250};
constexpr int kConnectTimeoutMs = 3000;
constexpr int kLingerSeconds = 5;

bool Number(const char* in_text, long in_min, long in_max, long& out_value)
{
    char* end = nullptr;
    errno = 0;
    out_value = strtol(in_text, &end, 10);
    return errno == 0 && end != in_text && *end == '\0' && out_value >= in_min &&
           out_value <= in_max;
}

// A query value with its %XX escapes undone.
std::string Unescaped(const std::string& in_text)
{
    std::string text;
    for (size_t i = 0; i < in_text.size(); ++i) {
        if (in_text[i] == '%' && i + 2 < in_text.size() && isxdigit(uint8_t(in_text[i + 1])) &&
            isxdigit(uint8_t(in_text[i + 2]))) {
            text += char(std::stoi(in_text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            text += in_text[i];
        }
    }
    return text;
}

std::string SrtError()
{
    return srt_getlasterror_str();
}

template <typename T> bool SetFlag(SRTSOCKET in_socket, SRT_SOCKOPT in_option, T in_value)
{
    return VERIFY(srt_setsockflag(in_socket, in_option, &in_value, sizeof(in_value)) == 0);
}

} // namespace

bool ParseSrtUrl(const std::string& in_url, SrtAddress& out_address, std::string& out_message)
{
    out_address = {};
    char host[256] = {}, path[1024] = {};
    if (in_url.size() >= sizeof(path)) { // av_url_split would cut it short without a word
        out_message = "The SRT URL is too long";
        return false;
    }
    int port = -1;
    av_url_split(nullptr, 0, nullptr, 0, host, sizeof(host), &port, path, sizeof(path),
                 in_url.c_str());
    if (!*host || port <= 0 || port > 65535) {
        out_message = in_url + " needs a host and a port: srt://host:port";
        return false;
    }
    out_address.host = host;
    out_address.port = port;
    const std::string rest = path;
    const size_t query = rest.find('?');
    if (rest.substr(0, query) != "" && rest.substr(0, query) != "/") {
        out_message = in_url + ": an SRT URL has no path; the server's stream goes in ?streamid=";
        return false;
    }
    for (size_t at = query; at != std::string::npos && at + 1 < rest.size();) {
        const size_t end = rest.find('&', at + 1);
        const std::string pair = rest.substr(at + 1, end == std::string::npos ? end : end - at - 1);
        at = end;
        const size_t equals = pair.find('=');
        const std::string key = pair.substr(0, equals);
        const std::string value =
            equals == std::string::npos ? "" : Unescaped(pair.substr(equals + 1));
        long number = 0;
        if (key == "streamid")
            out_address.streamId = value;
        else if (key == "passphrase" && value.size() >= 10 && value.size() <= 79)
            out_address.passphrase = value;
        else if (key == "pbkeylen" && Number(value.c_str(), 16, 32, number) &&
                 (number == 16 || number == 24 || number == 32))
            out_address.keyLength = int(number);
        else if (key == "latency" && Number(value.c_str(), 0, 60000000, number))
            out_address.latencyMs = int(number / 1000);
        else {
            out_message = "Cannot stream with \"" + pair +
                          "\": an SRT URL takes streamid, passphrase (10 to 79 characters), "
                          "pbkeylen (16, 24 or 32) and latency (microseconds)";
            return false;
        }
    }
    return true;
}

SrtCaller::~SrtCaller()
{
    Close();
}

bool SrtCaller::Connect(const SrtAddress& in_address, std::string& out_message)
{
    Close();
    mStarted = VERIFY(srt_startup() >= 0);
    const std::string server = in_address.host + ":" + std::to_string(in_address.port);
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const int resolved = getaddrinfo(in_address.host.c_str(),
                                     std::to_string(in_address.port).c_str(), &hints, &found);
    if (!VERIFY(resolved == 0)) {
        out_message = "Cannot find " + server + ": " + gai_strerror(resolved);
        return false;
    }
    const SRTSOCKET socket = srt_create_socket();
    mSocket = socket;
    bool set = socket != SRT_INVALID_SOCK && SetFlag(socket, SRTO_TRANSTYPE, SRTT_LIVE) &&
               SetFlag(socket, SRTO_SENDER, int32_t(1)) &&
               SetFlag(socket, SRTO_CONNTIMEO, int32_t(kConnectTimeoutMs)) &&
               SetFlag(socket, SRTO_LINGER, linger{1, kLingerSeconds}) &&
               SetFlag(socket, SRTO_PAYLOADSIZE, int32_t(kPayloadBytes));
    if (set && in_address.latencyMs >= 0)
        set = SetFlag(socket, SRTO_LATENCY, int32_t(in_address.latencyMs));
    if (set && in_address.keyLength)
        set = SetFlag(socket, SRTO_PBKEYLEN, int32_t(in_address.keyLength));
    if (set && !in_address.passphrase.empty())
        set = VERIFY(srt_setsockflag(socket, SRTO_PASSPHRASE, in_address.passphrase.data(),
                                     int(in_address.passphrase.size())) == 0);
    if (set && !in_address.streamId.empty())
        set = VERIFY(srt_setsockflag(socket, SRTO_STREAMID, in_address.streamId.data(),
                                     int(in_address.streamId.size())) == 0);
    const bool connected =
        set && VERIFY(srt_connect(socket, found->ai_addr, int(found->ai_addrlen)) != SRT_ERROR);
    freeaddrinfo(found);
    if (!connected) {
        out_message = "Cannot connect to srt://" + server + ": " + SrtError();
        Close();
        return false;
    }
    mAcks = 0;
    mLastAck = mLastSend = mNextCheck = std::chrono::steady_clock::now();
    return true;
}

bool SrtCaller::Send(const uint8_t* in_data, int in_size, std::string& out_message)
{
    if (mSocket == -1 || !VERIFY(srt_sendmsg2(mSocket, reinterpret_cast<const char*>(in_data),
                                              in_size, nullptr) == in_size)) {
        out_message = mSocket == -1 ? "not connected" : SrtError();
        mBroken = true;
        return false;
    }
    mBroken = !ServerAnswers(out_message);
    return !mBroken;
}

bool SrtCaller::ServerAnswers(std::string& out_message)
{
    // SRT itself gives up on a silent server after about 5 s; its acknowledgements, which a
    // receiver sends many times a second while data comes, tell sooner.
    const auto now = std::chrono::steady_clock::now();
    // After a pause in the frames the server had nothing to acknowledge: silence counts anew.
    if (now - mLastSend > kAckCheckEvery)
        mLastAck = now;
    mLastSend = now;
    if (now < mNextCheck)
        return true;
    mNextCheck = now + kAckCheckEvery;
    SRT_TRACEBSTATS stats = {};
    if (!VERIFY(srt_bstats(mSocket, &stats, 0) == 0))
        return true;
    if (stats.pktRecvACKTotal != mAcks) {
        mAcks = stats.pktRecvACKTotal;
        mLastAck = now;
        return true;
    }
    if (now - mLastAck < kSilentServer)
        return true;
    out_message = "the server stopped answering";
    return false;
}

void SrtCaller::Close()
{
    // Nobody takes what is unsent on a broken connection: no lingering for it.
    if (mSocket != -1 && mBroken)
        SetFlag(mSocket, SRTO_LINGER, linger{0, 0});
    if (mSocket != -1)
        srt_close(mSocket);
    mBroken = false;
    mSocket = -1;
    if (mStarted)
        srt_cleanup();
    mStarted = false;
}
