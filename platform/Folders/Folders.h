// Standard folders by domain, found under the XDG base directories and fixed prefixes.
//
//   components  user:   ${XDG_DATA_HOME:-~/.local/share}/parallax3d/Components
//               local:  ${PARALLAX3D_LOCAL_DOMAIN:-/usr/local}/lib/parallax3d/Components
//               system: ${PARALLAX3D_SYSTEM_DOMAIN:-/usr}/lib/parallax3d/Components
//   frameworks  local:  <local>/lib          system: <system>/lib/<multiarch triplet>
//   logs        user:   ${XDG_STATE_HOME:-~/.local/state}/parallax3d/Logs
//   kernels     user:   ${XDG_DATA_HOME:-~/.local/share}/parallax3d/Kernels
//   calibrations user:  ${XDG_CONFIG_HOME:-~/.config}/Parallax3D/calibrations
#pragma once

#include <climits>
#include <cstddef>

#include "CFURL.h"
#include "MacTypes.h"

enum : SInt16 {
    kSystemDomain = -32766,
    kLocalDomain = -32765,
    kUserDomain = -32763,
};

enum : OSType {
    kLogsFolderType = FourCC("logs"),
    kQuickTimeComponentsFolderType = FourCC("wcmp"),
    kFrameworksFolderType = FourCC("fram"),
    kStereoKernelsFolderType = FourCC("krnl"),      // the user's own stereo encodings
    kStereoCalibrationsFolderType = FourCC("scal"), // each camera pair's calibration
    kStereoAlignmentsFolderType = FourCC("salg"),   // each camera pair's eye alignment
};

enum : Boolean {
    kDontCreateFolder = 0,
    kCreateFolder = 1,
};

// A reference to an existing file-system object, held as its absolute path.
struct FSRef
{
    char path[PATH_MAX];
};

// noErr and the folder's reference; fnfErr when it is missing and not to be created,
// paramErr for a domain or type without such a folder, or a path that does not fit,
// ioErr when it could not be created.
OSErr FSFindFolder(SInt16 domain, OSType folderType, Boolean createFolder, FSRef* foundRef);
// The folder's path for a domain and type, whether or not it exists; false when there is none.
bool FolderPathForDomain(SInt16 domain, OSType folderType, char* path, size_t pathSize);

// Makes a reference to an existing object; fnfErr when there is none.
OSErr FSPathMakeRef(const UInt8* path, FSRef* ref, Boolean* isDirectory);
OSStatus FSRefMakePath(const FSRef* ref, UInt8* path, UInt32 maxPathSize);
// Whether the reference still names an existing object.
bool FSRefExists(const FSRef* ref);
bool FSRefIsDirectory(const FSRef* ref);

CFURLRef CFURLCreateFromFSRef(CFAllocatorRef alloc, const FSRef* ref);
Boolean CFURLGetFSRef(CFURLRef url, FSRef* ref);
