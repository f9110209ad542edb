#include "SystemFramework.h"

#include "CoreMachDebugLog.h"

T_CFBaseDLL<I_CFBundleDLL> SystemFramework::sSystem(CFSTR("libc.so.6"));

static bool BindSystem()
{
    return SystemFramework::sSystem.IsLoaded() || SystemFramework::sSystem.LoadSystemFramework();
}

char* SystemFramework::getcwd(char* io_buffer, size_t in_size)
{
    char* result = nullptr;
    if (!BindSystem() || !sSystem.Call(CFSTR("getcwd"), &result, io_buffer, in_size))
        return nullptr;
    return result;
}

int SystemFramework::chdir(const char* in_utf8_path_string)
{
    if (!VERIFY(in_utf8_path_string))
        return -1;
    int result = -1;
    if (!BindSystem() || !sSystem.Call(CFSTR("chdir"), &result, in_utf8_path_string))
        return -1;
    return result;
}

int SystemFramework::mprotect(void* in_address, size_t in_length, int in_protection)
{
    int result = -1;
    if (!BindSystem() ||
        !sSystem.Call(CFSTR("mprotect"), &result, in_address, in_length, in_protection))
        return -1;
    return result;
}

bool import_SystemFramework()
{
    return import_I_CFBundleDLL();
}
