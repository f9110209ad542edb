// System calls bound at run time through the bundle holder: the C library is the system
// framework here.
#pragma once

#include <cstddef>

#include "I_CFBundleDLL.h"
#include "T_CFBaseDLL.h"

class SystemFramework
{
public:
    // Null when the library cannot be bound or lacks the function.
    static char* getcwd(char* io_buffer, size_t in_size);
    // -1 when the library cannot be bound; a null path is reported.
    static int chdir(const char* in_utf8_path_string);
    static int mprotect(void* in_address, size_t in_length, int in_protection);

    // "libc.so.6" in the system frameworks folder.
    static T_CFBaseDLL<I_CFBundleDLL> sSystem;
};

bool import_SystemFramework();
