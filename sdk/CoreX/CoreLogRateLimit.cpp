#include "CoreLogRateLimit.h"

bool CoreLogRateLimit::Admit(const std::string& text, uint64_t nowUs, std::string& out_note)
{
    out_note.clear();
    Recent* oldest = &mRecent[0];
    for (Recent& recent : mRecent) {
        if (recent.text == text && !text.empty()) {
            if (nowUs - recent.sentUs < kIntervalUs) {
                ++recent.held;
                return false;
            }
            if (recent.held != 0)
                out_note =
                    "(" + std::to_string(recent.held) + " more of the next report held back)\n";
            recent.sentUs = nowUs;
            recent.held = 0;
            return true;
        }
        if (recent.sentUs < oldest->sentUs)
            oldest = &recent;
    }
    *oldest = Recent{text, nowUs, 0};
    return true;
}
