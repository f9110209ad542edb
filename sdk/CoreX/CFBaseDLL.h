// Where bundles and frameworks are looked for by name.
#pragma once

#include <string>

#include "CFURL.h"
#include "MacTypes.h"

class CFBaseDLL
{
public:
    enum Location {
        kLocationExecutableFolder = 0,  // the folder of the main bundle's executable
        kLocationSystemFrameworks = 1,  // frameworks folder of the system domain
        kLocationLocalFrameworks = 2,   // frameworks folder of the local domain
        kLocationPrivateFrameworks = 3, // the main bundle's private frameworks
        kLocationSharedFrameworks = 4,  // the main bundle's shared frameworks
        kLocationResources = 5,         // the main bundle's resources
        kLocationBuiltInPlugIns = 6,    // the main bundle's built-in plug-ins
        kLocationSupportFiles = 7,      // the main bundle's support files
        kLocationLocalQuickTime = 8,    // components folder of the local domain
        kLocationSystemQuickTime = 9,   // components folder of the system domain
        kLocationUserQuickTime = 10,    // components folder of the user domain
    };

    // The location's folder with the name as its last component; a new URL or null. Domain
    // folders are never created here.
    static CFURLRef URLOfNameInLocation(CFStringRef in_name, int in_location);
    static CFURLRef URLOfNameInFindFolder(CFStringRef in_name, OSType in_folder_type,
                                          SInt16 in_domain, CFStringRef in_subfolder = nullptr);
    // The URL's path into io_text, which is left as it was when there is none.
    static const char* PathFromURL(CFURLRef in_url, std::string& io_text);
};

bool import_CFBaseDLL();
