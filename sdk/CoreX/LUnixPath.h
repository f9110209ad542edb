// The older twin of CoreUnixPath's path-text half, kept for the classic file-system wrappers.
#pragma once

#include <string>

class LUnixPath
{
public:
    LUnixPath();
    LUnixPath(const char* in_path);
    LUnixPath(const LUnixPath& in_path);
    virtual ~LUnixPath();

    bool Construct(const char* in_path);
    LUnixPath& operator=(const LUnixPath& in_path);
    operator const char*() const { return mPath.c_str(); }

    bool IsEmpty() const { return mPath.empty(); }
    void Empty() { mPath.clear(); }
    bool IsRoot() const;
    static bool IsRootPath(const char* in_path);

    static bool AddTrailingSlash(std::string& path);
    static bool RemoveTrailingSlash(std::string& path);
    bool RemoveTrailingSlash();

    static bool GetPathParent(const std::string& path, std::string& parent_path);
    bool GetParent(LUnixPath& out_parent) const;
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
    bool GetFirstPair(std::string& base, std::string& name) const;
    bool GetNextPair(std::string& base, std::string& name) const;

    static const char* const s_slash_str_const;

private:
    std::string mPath;
};

bool import_LUnixPath();
