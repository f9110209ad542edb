// A bundle the application carries in its resources and installs elsewhere by a symbolic link.
#pragma once

#include "I_CFBundleDLL.h"
#include "T_CFBaseDLL.h"

class CoreResourceBundle
{
public:
    enum { UnInstall = 0, Install = 1 };

    CoreResourceBundle(CFStringRef in_file_name, const char* in_base_name);
    virtual ~CoreResourceBundle();
    virtual bool AlreadyInstalledSomewhere() const;

    // Install: nothing to do when installed somewhere already, else link the resource copy
    // into the location. UnInstall: unload this process's copy, then remove that link.
    bool InstallLocation(int in_action, int in_location);
    static bool InstallBaseFileNameLocation(const char* in_base_name, CFStringRef in_file_name,
                                            int in_action, int in_location);

    T_CFBaseDLL<I_CFBundleDLL> mDLL;

protected:
    CFStringRef mFileName; // "Parallax3D_XXX.component", not owned
    const char* mBaseName; // "Parallax3D_XXX"
};

bool import_CoreResourceBundle();
