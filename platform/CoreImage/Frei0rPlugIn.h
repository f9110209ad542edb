// frei0r filter plug-ins: the shared libraries in the frei0r search path that take one image
// and give one, loaded so that the engine can offer each as a named filter.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "MacTypes.h"

namespace CoreImage {

struct Frei0rFunctions; // the plug-in's entry points, Frei0rFunctions.h

struct Frei0rParameter
{
    enum Type { kBool = 0, kDouble = 1, kColor = 2, kPosition = 3, kString = 4 };
    std::string name;
    Type type = kDouble;
    std::string explanation;
};

class Frei0rPlugIn
{
public:
    // FREI0R_PATH (folders separated by colons) when set; else the per-user folder, then
    // /usr/local/lib/frei0r-1, /usr/lib/frei0r-1 and /usr/lib/<multiarch>/frei0r-1.
    static std::vector<std::string> SearchPath();

    // Every filter plug-in found in the search path, each folder and its vendor folders one
    // level down, in name order. Of two plug-ins with one name the earlier folder wins.
    // Libraries that do not load, lack an entry point, or are not filters are skipped with a
    // report.
    static std::vector<std::shared_ptr<Frei0rPlugIn>> LoadAllPlugIns();

    // One library; null with a report when it is not a usable filter plug-in.
    static std::shared_ptr<Frei0rPlugIn> Load(const std::string& path);

    ~Frei0rPlugIn();
    Frei0rPlugIn(const Frei0rPlugIn&) = delete;
    Frei0rPlugIn& operator=(const Frei0rPlugIn&) = delete;

    const std::string& path() const { return mPath; }
    const std::string& name() const { return mName; }
    const std::string& author() const { return mAuthor; }
    const std::string& explanation() const { return mExplanation; }
    // F0R_COLOR_MODEL_BGRA8888, RGBA8888 or PACKED32.
    int colorModel() const { return mColorModel; }
    const std::vector<Frei0rParameter>& parameters() const { return mParameters; }
    // -1 when there is none of that name.
    int parameterIndex(std::string_view name) const;

private:
    friend class Frei0rInstance;
    Frei0rPlugIn() = default;

    void* mLibrary = nullptr;
    std::unique_ptr<Frei0rFunctions> mFunctions;
    bool mInitialized = false;
    std::string mPath;
    std::string mName;
    std::string mAuthor;
    std::string mExplanation;
    int mColorModel = 0;
    std::vector<Frei0rParameter> mParameters;
};

} // namespace CoreImage

bool import_Frei0rPlugIn();
