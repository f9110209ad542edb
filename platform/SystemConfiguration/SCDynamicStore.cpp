#include "SCDynamicStore.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <unistd.h>
#include <vector>

bool SCParseSeatActiveUID(const char* text, uid_t* uid)
{
    if (!text || !uid)
        return false;
    static const char kKey[] = "ACTIVE_UID=";
    for (const char* line = text; *line;) {
        const char* end = strchr(line, '\n');
        const size_t length = end ? size_t(end - line) : strlen(line);
        if (length > sizeof(kKey) - 1 && strncmp(line, kKey, sizeof(kKey) - 1) == 0) {
            const char* digits = line + sizeof(kKey) - 1;
            char* stop = nullptr;
            errno = 0;
            const unsigned long value = strtoul(digits, &stop, 10);
            if (errno == 0 && stop == line + length && *digits >= '0' && *digits <= '9' &&
                value < static_cast<unsigned long>(static_cast<uid_t>(-1))) {
                *uid = static_cast<uid_t>(value);
                return true;
            }
            return false;
        }
        if (!end)
            break;
        line = end + 1;
    }
    return false;
}

static bool ReadSeatActiveUID(uid_t* uid)
{
    FILE* seat = fopen("/run/systemd/seats/seat0", "re");
    if (!seat)
        return false;
    char text[4096];
    const size_t length = fread(text, 1, sizeof(text) - 1, seat);
    fclose(seat);
    text[length] = 0;
    return SCParseSeatActiveUID(text, uid);
}

CFStringRef SCDynamicStoreCopyConsoleUser(SCDynamicStoreRef, uid_t* uid, gid_t* gid)
{
    uid_t consoleUID;
    if (!ReadSeatActiveUID(&consoleUID))
        consoleUID = getuid();

    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? size_t(size) : 16384);
    struct passwd entry;
    struct passwd* user = nullptr;
    if (getpwuid_r(consoleUID, &entry, buffer.data(), buffer.size(), &user) != 0 || !user ||
        !user->pw_name || !user->pw_name[0])
        return nullptr;
    if (uid)
        *uid = user->pw_uid;
    if (gid)
        *gid = user->pw_gid;
    return CFStringCreateWithCString(nullptr, user->pw_name, kCFStringEncodingUTF8);
}
