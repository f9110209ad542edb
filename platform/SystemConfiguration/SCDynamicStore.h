// The user at the console: the active user of seat0 when logind runs, else the process's user.
#pragma once

#include <sys/types.h>

#include "CFString.h"

typedef const struct __SCDynamicStore* SCDynamicStoreRef;

// The console user's short name, owned by the caller; null when that user has no name.
CFStringRef SCDynamicStoreCopyConsoleUser(SCDynamicStoreRef store, uid_t* uid, gid_t* gid);

// ACTIVE_UID of a logind seat file; false when the text holds no valid one.
bool SCParseSeatActiveUID(const char* seatFileText, uid_t* uid);
