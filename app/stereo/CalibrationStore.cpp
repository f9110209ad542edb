#include "CalibrationStore.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "Folders.h"

namespace {

// Longer names are cut and end in the digest, within NAME_MAX with room for ".yml.partial".
constexpr size_t kLongestStem = 200;

// Printable ASCII stays readable; everything else, and the characters that give the name its
// shape ('%' the escape, '+' between the cameras, '~' before a digest, '/'), becomes %XX.
void Escape(const std::string& name, std::string& out)
{
    static const char kHex[] = "0123456789ABCDEF";
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && !strchr("%+~/", c)) {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
}

// FNV-1a, 64 bits: a stable digest, the same on every machine and run.
uint64_t Digest(const std::string& text)
{
    uint64_t hash = 14695981039346656037ull;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

OSType FolderType(CalibrationStore::Shelf shelf)
{
    return shelf == CalibrationStore::kAlignments ? kStereoAlignmentsFolderType
                                                  : kStereoCalibrationsFolderType;
}

} // namespace

std::string CalibrationStore::PathOf(const std::string& left, const std::string& right, Shelf shelf)
{
    char folder[PATH_MAX];
    if (!FolderPathForDomain(kUserDomain, FolderType(shelf), folder, sizeof folder))
        return std::string();
    std::string stem;
    Escape(left, stem);
    stem += '+';
    Escape(right, stem);
    if (stem.size() > kLongestStem) {
        char digest[20];
        snprintf(digest, sizeof digest, "~%016llx",
                 static_cast<unsigned long long>(Digest(left + '\0' + right)));
        stem = stem.substr(0, kLongestStem - strlen(digest)) + digest;
    }
    return std::string(folder) + "/" + stem + ".yml";
}

bool CalibrationStore::Save(const std::string& left, const std::string& right,
                            const StereoCalibration& calibration, std::string& out_reason,
                            Shelf shelf)
{
    FSRef folder;
    if (FSFindFolder(kUserDomain, FolderType(shelf), kCreateFolder, &folder) != noErr) {
        out_reason = "no folder for calibrations";
        return false;
    }
    return calibration.Save(PathOf(left, right, shelf), out_reason);
}

bool CalibrationStore::Find(const std::string& left, const std::string& right,
                            StereoCalibration& out_calibration, std::string& out_reason,
                            Shelf shelf)
{
    out_reason.clear();
    const std::string path = PathOf(left, right, shelf);
    struct stat status;
    if (path.empty() || stat(path.c_str(), &status) != 0)
        return false;
    return StereoCalibration::Load(path, out_calibration, out_reason);
}

bool CalibrationStore::Remove(const std::string& left, const std::string& right, Shelf shelf)
{
    const std::string path = PathOf(left, right, shelf);
    return path.empty() || std::remove(path.c_str()) == 0 || errno == ENOENT;
}
