// A PipeWire daemon and session manager of a test's own, as a user's login starts them.
#pragma once

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

#include "TestSupport.h"

namespace p3dtest {

// The daemon and manager in a runtime folder of their own, on a session bus of their own; the
// bus starts the services it activates (portals) with the same environment.
class PipeWireSession
{
public:
    // in_env: "NAME=value" entries more for the bus and every program of the session.
    explicit PipeWireSession(std::string in_runtime, std::vector<std::string> in_env = {});
    ~PipeWireSession();
    PipeWireSession(const PipeWireSession&) = delete;
    PipeWireSession& operator=(const PipeWireSession&) = delete;

    // What a session needs that a machine may lack; "" when it has it all.
    static std::string MissingPiece();

    bool Start(std::string& out_why);
    // Both gone at once, as when the daemon crashes and takes the manager's connection with it.
    void Stop();

    // The environment of a program in the session.
    std::vector<std::string> Env() const;
    // pw-dump's JSON without white space.
    std::string Dump() const;
    bool HasNode() const;

private:
    std::string mRuntime;
    std::vector<std::string> mEnv;
    std::unique_ptr<Child> mBus;
    pid_t mBusProgram = -1;
    std::string mBusAddress;
    std::unique_ptr<Child> mDaemon;
    std::unique_ptr<Child> mManager;
};

} // namespace p3dtest
