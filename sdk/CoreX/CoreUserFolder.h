// A standard folder of a domain, optionally a subfolder in it, created on demand.
#pragma once

#include "CFURL.h"
#include "CoreUnixPath.h"
#include "Folders.h"

class CoreUserFolder
{
public:
    CoreUserFolder(const char* inSubFolderName, OSType inFindFolderLocation,
                   SInt16 inFindFolderDomain);
    CoreUserFolder(OSType inFindFolderLocation, SInt16 inFindFolderDomain);

    bool GetFileRef(FSRef& out_foundFolderRef) const;
    // A new URL of the folder, which the caller releases; null when it cannot be had.
    CFURLRef GetURLRef() const;
    bool GetUnixPath(CoreUnixPath& out_path) const;

    static bool FSRefOfFoundFolder(FSRef* out_foundFolderRef, OSType inFindFolderLocation,
                                   SInt16 inFindFolderDomain, const char* inSubFolderName);

private:
    const char* mSubFolderName;
    OSType mFindFolderLocation;
    SInt16 mFindFolderDomain;
};

bool import_CoreUserFolder();
