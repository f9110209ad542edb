// The channel's file and semaphore names are fixed, system-wide. A test that uses them moves
// itself (and every program it starts) into a mount namespace with a /tmp and /dev/shm of its
// own, so tests neither see each other nor a real broadcast on this machine.
#pragma once

#include <string>

namespace p3dtest {

// Needs root, or unprivileged user namespaces; must run before the process starts threads.
bool EnterPrivateChannelNamespace(std::string* why);

// Whether this process is in such a namespace; why it is not, otherwise.
bool InPrivateChannelNamespace();
const std::string& PrivateChannelNamespaceError();

} // namespace p3dtest
