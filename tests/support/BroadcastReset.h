// What every broadcasting test starts from: no component loaded in this process or linked for the
// user, no channel, no stored preferences.
#pragma once

#include <cstdlib>
#include <string>

#include "ChannelReset.h"
#include "shared_camera_bundle.h"

namespace p3dtest {

inline void ResetBroadcast()
{
    SharedCameraBundle::sComponent.mDLL.Unload();
    RemoveTree(UserComponentLink());
    RemoveChannel(ChannelPath());
    RemoveTree(std::string(getenv("XDG_CONFIG_HOME")) + "/Parallax3D");
}

} // namespace p3dtest
