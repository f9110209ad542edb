// Keeps a report that repeats every frame from flooding the log: the same text is let through at
// most once a second, and the next time it is let through it says how many were held back.
#pragma once

#include <cstdint>
#include <string>

class CoreLogRateLimit
{
public:
    static constexpr uint64_t kIntervalUs = 1000000;

    // Whether text goes out now; when it does after a pause in which copies were held back,
    // out_note says how many (empty otherwise).
    bool Admit(const std::string& text, uint64_t nowUs, std::string& out_note);

private:
    struct Recent
    {
        std::string text;
        uint64_t sentUs = 0;
        unsigned held = 0;
    };
    static constexpr int kRecent = 16; // texts remembered; the oldest gives way
    Recent mRecent[kRecent];
};
