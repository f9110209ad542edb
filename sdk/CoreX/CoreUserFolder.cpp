#include "CoreUserFolder.h"

#include "CoreMachDebugLog.h"
#include "LFSRef.h"

CoreUserFolder::CoreUserFolder(const char* inSubFolderName, OSType inFindFolderLocation,
                               SInt16 inFindFolderDomain)
    : mSubFolderName(inSubFolderName), mFindFolderLocation(inFindFolderLocation),
      mFindFolderDomain(inFindFolderDomain)
{
    // Looking the folder up creates it; the object is made whatever the outcome.
    FSRef foundFolderRef;
    VERIFY(GetFileRef(foundFolderRef));
}

CoreUserFolder::CoreUserFolder(OSType inFindFolderLocation, SInt16 inFindFolderDomain)
    : CoreUserFolder(nullptr, inFindFolderLocation, inFindFolderDomain)
{
}

bool CoreUserFolder::GetFileRef(FSRef& out_foundFolderRef) const
{
    bool fOk;
    VERIFY(fOk = FSRefOfFoundFolder(&out_foundFolderRef, mFindFolderLocation, mFindFolderDomain,
                                    mSubFolderName));
    return fOk;
}

CFURLRef CoreUserFolder::GetURLRef() const
{
    FSRef foundFolderRef;
    if (!GetFileRef(foundFolderRef))
        return nullptr;
    CFURLRef urlRef = CFURLCreateFromFSRef(kCFAllocatorDefault, &foundFolderRef);
    VERIFY(urlRef);
    return urlRef;
}

bool CoreUserFolder::GetUnixPath(CoreUnixPath& out_path) const
{
    CFURLRef urlRef = GetURLRef();
    if (!VERIFY(urlRef))
        return false;
    const bool fOk = out_path.Construct(urlRef);
    CFRelease(urlRef);
    return fOk;
}

bool CoreUserFolder::FSRefOfFoundFolder(FSRef* out_foundFolderRef, OSType inFindFolderLocation,
                                        SInt16 inFindFolderDomain, const char* inSubFolderName)
{
    if (!out_foundFolderRef)
        return false;
    FSRef foundFolderRef;
    // clang-format off
    if (VERIFY_ERR(FSFindFolder(inFindFolderDomain, inFindFolderLocation, kCreateFolder, &foundFolderRef)) != noErr)
        return false;
    // clang-format on
    if (!inSubFolderName) {
        *out_foundFolderRef = foundFolderRef;
        return true;
    }

    LFSRef nestedFolder;
    if (!VERIFY(nestedFolder.Construct(&foundFolderRef, inSubFolderName)))
        return false;
    if (!nestedFolder.IsFolder() && !VERIFY(nestedFolder.CreateFolder()))
        return false;
    bool fOk;
    VERIFY(fOk = nestedFolder.GetNormalizedRef(out_foundFolderRef));
    return fOk;
}

bool import_CoreUserFolder()
{
    return import_CoreUnixPath() && import_LFSRef();
}
