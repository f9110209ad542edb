// A POSIX path held as text: path-text operations, and class-wide file-system tests and changes.
#pragma once

#include <string>

#include "CFString.h"
#include "CFURL.h"

class CoreUnixPath
{
public:
    CoreUnixPath();
    CoreUnixPath(const char* in_path);
    CoreUnixPath(const CoreUnixPath& in_path);
    CoreUnixPath(CFStringRef unix_file_path);
    CoreUnixPath(CFURLRef unix_file_url);
    virtual ~CoreUnixPath();

    bool Construct(const char* in_path);
    bool Construct(CFStringRef unix_file_path);
    bool Construct(CFURLRef unix_file_url);
    CoreUnixPath& operator=(const CoreUnixPath& in_path);
    operator const char*() const { return mPath.c_str(); }
    const std::string& GetPath() const { return mPath; }

    bool IsEmpty() const { return mPath.empty(); }
    void Empty() { mPath.clear(); }
    // The root is a path made of nothing but slashes: "/", "//", ...
    bool IsRoot() const;
    static bool IsRootPath(const char* in_path);

    static bool AddTrailingSlash(std::string& path);
    static bool RemoveTrailingSlash(std::string& path);
    bool RemoveTrailingSlash();

    static bool GetPathParent(const std::string& path, std::string& parent_path);
    bool GetParent(std::string& parent_path) const;
    bool GetParent(CoreUnixPath& out_parent) const;
    static bool GetPathJustName(const std::string& path, std::string& name);
    bool GetJustName(std::string& name) const;
    static bool AddPathExtension(std::string& path, const std::string& extension);
    static bool HasValidFileExtension(const std::string& path);
    static bool GetPathExtension(const std::string& path, std::string& extension);
    bool GetExtension(std::string& extension) const;
    static bool HasPathExtension(const std::string& path, const std::string& extension);
    bool HasExtension(const std::string& extension) const;
    static bool ReplacePathExtension(std::string& path, const std::string& extension);
    bool ReplaceExtension(const std::string& extension);

    static bool IsFullyQualified(const char* in_path);
    static bool IsPartiallyQualified(const char* in_path);
    static bool IsQualified(const char* in_path);
    static bool IsJustName(const char* in_path);
    bool IsFullyQualified() const;
    bool IsPartiallyQualified() const;
    bool IsQualified() const;
    bool IsJustName() const;

    static bool GetPathBasePartAndNamePart(const std::string& path, std::string& base,
                                           std::string& name);
    // Walks the path one component at a time: p/q/r gives (p/, q/r), then (p/q/, r).
    bool GetFirstPair(std::string& base, std::string& name) const;
    bool GetNextPair(std::string& base, std::string& name) const;

    bool chdir() const;
    bool getcwd();

    static bool FileExists(const char* in_path);
    static bool FileExistsRead(const char* in_path);
    static bool FileExistsWrite(const char* in_path);
    static bool FileExistsReadWrite(const char* in_path);
    static bool FileDelete(const char* in_path);
    static bool FolderDelete(const char* in_path);
    static bool MakeSymbolicLinkFromTo(const char* in_from_path, const char* in_to_path);

    static const char* const s_slash_str_const;

private:
    friend class LUnixPath;
    // The older path class makes the same walk without reporting a missing name or extension.
    static bool GetPathJustName(const std::string& path, std::string& name, bool inReport);
    static bool GetPathExtension(const std::string& path, std::string& extension, bool inReport);

    std::string mPath;
};

bool import_CoreUnixPath();
