// Bundles: a folder whose executable is "<folder>/<base name>.so", or a shared library file that
// is its own executable. The main bundle is the tree the running program belongs to:
//
//   <root>/bin/<program>                      the executable's folder
//   <root>/lib/parallax3d/Resources           resources, looked up as "<name>.<type>"
//   <root>/lib/parallax3d/Frameworks          private frameworks
//   <root>/lib/parallax3d/SharedFrameworks    shared frameworks
//   <root>/lib/parallax3d/PlugIns             built-in plug-ins
//   <root>/lib/parallax3d/SharedSupport       support files
//
// <root> is the nearest folder above the program that holds lib/parallax3d; without one, the
// parent of the program's folder.
#pragma once

#include "CFString.h"
#include "CFURL.h"

typedef struct __CFBundle* CFBundleRef;

// Null when the URL names neither a folder nor a file.
CFBundleRef CFBundleCreate(CFAllocatorRef alloc, CFURLRef bundleURL);
// Not owned by the caller; null when /proc/self/exe cannot be read.
CFBundleRef CFBundleGetMainBundle(void);

CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle);
CFURLRef CFBundleCopyExecutableURL(CFBundleRef bundle);
// The main bundle's folders, whether or not they exist; null for other bundles.
CFURLRef CFBundleCopyResourcesDirectoryURL(CFBundleRef bundle);
CFURLRef CFBundleCopyPrivateFrameworksURL(CFBundleRef bundle);
CFURLRef CFBundleCopySharedFrameworksURL(CFBundleRef bundle);
CFURLRef CFBundleCopyBuiltInPlugInsURL(CFBundleRef bundle);
CFURLRef CFBundleCopySharedSupportURL(CFBundleRef bundle);
// "<Resources>/[<subDir>/]<name>.<type>" when it exists.
CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef resourceName,
                                 CFStringRef resourceType, CFStringRef subDirName);
// The executable's base name; owned by the bundle.
CFStringRef CFBundleGetIdentifier(CFBundleRef bundle);

// dlopen of the executable (the main bundle's is always loaded).
Boolean CFBundleLoadExecutable(CFBundleRef bundle);
void CFBundleUnloadExecutable(CFBundleRef bundle);
Boolean CFBundleIsExecutableLoaded(CFBundleRef bundle);
// Why the last load on this thread failed, as the dynamic loader said it; "" when it did not.
const char* CFBundleGetLoadErrorText(void);
// Null unless loaded and the name resolves.
void* CFBundleGetFunctionPointerForName(CFBundleRef bundle, CFStringRef functionName);
