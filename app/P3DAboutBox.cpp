#include "P3DAboutBox.h"

#include <QLabel>
#include <QVBoxLayout>
#include <unistd.h>

#include "CFBaseDLL.h"
#include "CFBundle.h"
#include "CoreCommandLine.h"
#include "Frei0rPlugIn.h"
#include "PDFSkinView.h"
#include "TCFString.h"

namespace {

const char* const kComponentName = "Parallax3D_XXX.component";
const char* const kPlugInName = "CIParallax3DInput.so";

std::string FirstExisting(const std::vector<std::string>& folders, const char* name)
{
    for (const std::string& folder : folders) {
        if (folder.empty())
            continue;
        const std::string path = folder + "/" + name;
        if (access(path.c_str(), F_OK) == 0)
            return path;
    }
    return std::string();
}

std::string FolderOfLocation(int location)
{
    TCFString name(kComponentName);
    CFURLRef url = CFBaseDLL::URLOfNameInLocation(name, location);
    std::string path;
    CFBaseDLL::PathFromURL(url, path);
    if (url)
        CFRelease(url);
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string MainBundleFolder()
{
    CFURLRef url = CFBundleCopyBundleURL(CFBundleGetMainBundle());
    std::string path;
    CFBaseDLL::PathFromURL(url, path);
    if (url)
        CFRelease(url);
    return path;
}

} // namespace

std::vector<P3DAboutComponent> P3DFindComponents(const std::vector<std::string>& componentFolders,
                                                 const std::vector<std::string>& plugInFolders)
{
    return {{"component", FirstExisting(componentFolders, kComponentName)},
            {"plug-in", FirstExisting(plugInFolders, kPlugInName)}};
}

std::vector<P3DAboutComponent> P3DFindInstalledComponents()
{
    // Where the client loads the component from, then the copy broadcasting installs from.
    const std::vector<std::string> componentFolders = {
        FolderOfLocation(CFBaseDLL::kLocationUserQuickTime),
        FolderOfLocation(CFBaseDLL::kLocationSystemQuickTime),
        FolderOfLocation(CFBaseDLL::kLocationLocalQuickTime),
        FolderOfLocation(CFBaseDLL::kLocationResources),
    };
    std::vector<std::string> plugInFolders = CoreImage::Frei0rPlugIn::SearchPath();
    const std::string root = MainBundleFolder();
    if (!root.empty())
        plugInFolders.push_back(root + "/lib/frei0r-1");
    return P3DFindComponents(componentFolders, plugInFolders);
}

QString P3DAboutText(const std::vector<P3DAboutComponent>& components)
{
    QString text = QString("Parallax3D\nVersion %1\n").arg(CoreCommandLine::Version());
    for (const P3DAboutComponent& c : components)
        text += QString::fromStdString(c.kind) + ": " +
                (c.path.empty() ? QString("not installed") : QString::fromStdString(c.path)) + "\n";
    return text.trimmed();
}

P3DAboutBox::P3DAboutBox(const std::vector<P3DAboutComponent>& components, QWidget* parent)
    : PDFSkinAboutBox(parent)
{
    setWindowTitle("AboutBox"); // the picture's name
    auto* view = new PDFSkinAboutBoxView(this);
    view->awakeFromNib();
    const QSize size = view->skinImage().isNull() ? QSize(420, 260) : view->skinImage().size();
    resize(size);
    setMinimumSize(size);
    view->resize(size);
    // Clicks go to the window, which moves or closes.
    view->setAttribute(Qt::WA_TransparentForMouseEvents);

    auto* layout = new QVBoxLayout(view);
    layout->setContentsMargins(120, 36, 28, 28);
    auto* name = new QLabel("Parallax3D", view);
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.8);
    big.setBold(true);
    name->setFont(big);
    auto* version = new QLabel(QString("Version %1").arg(CoreCommandLine::Version()), view);
    const QString lines = P3DAboutText(components).section('\n', 2);
    auto* parts = new QLabel(lines, view);
    parts->setWordWrap(true);
    QFont small = parts->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    parts->setFont(small);
    for (QLabel* label : {name, version, parts}) {
        label->setStyleSheet("color: #e8e8ec;");
        layout->addWidget(label);
    }
    layout->addStretch();
}
