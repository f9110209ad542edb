// The About box: the application's name and version over its picture, and where the parts it
// loads at run time are installed. It closes on a click that does not move it.
#pragma once

#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "PDFSkinAboutBox.h"

struct P3DAboutComponent
{
    std::string kind; // "component" or "plug-in"
    std::string path; // empty when not installed
};

// The first existing file of each part in its folders, in order.
std::vector<P3DAboutComponent> P3DFindComponents(const std::vector<std::string>& componentFolders,
                                                 const std::vector<std::string>& plugInFolders);
// The same in the folders the application loads them from.
std::vector<P3DAboutComponent> P3DFindInstalledComponents();
// The lines the About box shows.
QString P3DAboutText(const std::vector<P3DAboutComponent>& components);

class P3DAboutBox final : public PDFSkinAboutBox
{
public:
    explicit P3DAboutBox(const std::vector<P3DAboutComponent>& components,
                         QWidget* parent = nullptr);
};
