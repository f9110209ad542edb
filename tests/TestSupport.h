// Temporary folders and environment for tests.
#pragma once

#include <string>

namespace p3dtest {

// A fresh folder under the suite's temporary root, removed with everything in it.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return mPath; }
    std::string file(const std::string& name) const { return mPath + "/" + name; }

private:
    std::string mPath;
};

// The root under which TestMain placed HOME and the XDG and domain folders.
const std::string& SuiteRoot();

void WriteFile(const std::string& path, const std::string& contents);
std::string ReadFile(const std::string& path);
bool RemoveTree(const std::string& path);

} // namespace p3dtest
