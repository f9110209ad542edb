// The stereo encodings the monitor can use: the built-in anaglyphs (kernel texts held in the
// program), the two frame packings for 3-D televisions and headsets, and the user's own kernel
// texts, every *.cikernel in ${XDG_DATA_HOME:-~/.local/share}/parallax3d/Kernels. A user's text
// that does not compile stays in the list, unusable, with the reason and its place.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "CIKernel.h"

struct StereoEncoding
{
    enum class Kind {
        kAnaglyph,    // the two eyes through a kernel, one picture of an eye's size
        kSideBySide,  // each eye squeezed to half the width, the left eye on the left
        kTopAndBottom // each eye squeezed to half the height, the left eye on top
    };

    std::string key;   // what the preferences keep: "arcd", "sbs2l", "user/<file name>"
    std::string title; // the menu's text
    Kind kind = Kind::kAnaglyph;
    CFPtr<CIKernel> kernel; // anaglyphs; null when the text was refused
    std::string error;      // why a user's text was refused: "line 3, column 9: ..."

    bool usable() const { return kind != Kind::kAnaglyph || kernel; }
};

class StereoEncodingList
{
public:
    static constexpr const char* kDefaultKey = "arcd"; // the Dubois red-cyan anaglyph
    static constexpr const char* kUserKeyPrefix = "user/";

    // The built-in encodings, then the user's kernel texts in folder by file name; an empty
    // folder path or a missing folder adds none.
    explicit StereoEncodingList(const std::string& userFolder);
    // ${XDG_DATA_HOME:-~/.local/share}/parallax3d/Kernels, or "" without a home.
    static std::string UserKernelFolder();

    const std::vector<StereoEncoding>& encodings() const { return mEncodings; }
    // The usable encoding of that key, else the default.
    const StereoEncoding& find(std::string_view key) const;

    // A user's text as it was read, any bytes: its kernel, or null with "line L, column C:
    // reason" in *error.
    static CFPtr<CIKernel> CompileUserText(std::string_view text, std::string* error);
    // A user's file: at most one byte more than a text may hold is read.
    static CFPtr<CIKernel> CompileUserFile(const std::string& path, std::string* error);

private:
    std::vector<StereoEncoding> mEncodings;
};

bool import_StereoEncodingList();
