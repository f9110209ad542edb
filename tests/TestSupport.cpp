#include "TestSupport.h"

#include <cstdlib>
#include <fstream>
#include <ftw.h>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace p3dtest {

TempDir::TempDir()
{
    std::string pattern = SuiteRoot() + "/tmp.XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    mPath = pattern;
}

TempDir::~TempDir()
{
    RemoveTree(mPath);
}

void WriteFile(const std::string& path, const std::string& contents)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool RemoveTree(const std::string& path)
{
    auto removeOne = [](const char* item, const struct stat*, int, struct FTW*) {
        return ::remove(item);
    };
    return nftw(path.c_str(), removeOne, 16, FTW_DEPTH | FTW_PHYS) == 0;
}

} // namespace p3dtest
