// File references as the folder lookups hand them out, and the few operations on them
// that the foundation library needs.
#pragma once

#include "CoreMachDebugLog.h"
#include "Folders.h"

// Whether the reference names an existing object.
bool bool_FSRef_IsValid(const FSRef& fileRef);

// The reference's POSIX path into a caller's buffer; false when it is not valid or does not fit.
template <size_t N> bool bool_FSRef_GetUnixPath(const FSRef& fileRef, char (&path)[N])
{
    if (!VERIFY(bool_FSRef_IsValid(fileRef)))
        return false;
    return FSRefMakePath(&fileRef, reinterpret_cast<UInt8*>(path), N) == noErr;
}

// An item named inside a folder, which may not exist yet.
class LFSRef
{
public:
    LFSRef();

    // Names the item inName inside the folder inParent; false for a bad name or parent.
    bool Construct(const FSRef* inParent, const char* inName);
    bool IsFolder() const;
    // Creates the item as a folder (owner may read, write and enter; umask applies).
    bool CreateFolder();
    // The item's reference with every link and dot resolved; false when it does not exist.
    bool GetNormalizedRef(FSRef* outRef) const;

private:
    char mPath[PATH_MAX];
};

bool import_LFSRef();
