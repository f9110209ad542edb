#include "LFSRef.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

bool bool_FSRef_IsValid(const FSRef& fileRef)
{
    return FSRefExists(&fileRef);
}

LFSRef::LFSRef()
{
    mPath[0] = 0;
}

bool LFSRef::Construct(const FSRef* inParent, const char* inName)
{
    mPath[0] = 0;
    if (!inParent || !inName || !*inName || strchr(inName, '/'))
        return false;
    if (strcmp(inName, ".") == 0 || strcmp(inName, "..") == 0)
        return false;
    const int length = snprintf(mPath, sizeof(mPath), "%s/%s", inParent->path, inName);
    if (length <= 0 || size_t(length) >= sizeof(mPath)) {
        mPath[0] = 0;
        return false;
    }
    return true;
}

bool LFSRef::IsFolder() const
{
    struct stat info;
    return mPath[0] && stat(mPath, &info) == 0 && S_ISDIR(info.st_mode);
}

bool LFSRef::CreateFolder()
{
    return mPath[0] && (mkdir(mPath, 0777) == 0 || (errno == EEXIST && IsFolder()));
}

bool LFSRef::GetNormalizedRef(FSRef* outRef) const
{
    char resolved[PATH_MAX];
    if (!outRef || !mPath[0] || !realpath(mPath, resolved))
        return false;
    memcpy(outRef->path, resolved, strlen(resolved) + 1);
    return true;
}

bool import_LFSRef()
{
    return import_CoreMachDebugLog();
}
