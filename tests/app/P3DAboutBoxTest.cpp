#include <QApplication>
#include <QMouseEvent>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "AppController.h"
#include "P3DAboutBox.h"
#include "WidgetApplication.h"

namespace {

namespace fs = std::filesystem;

// Press and release at the same point.
void StillClick(QWidget& box)
{
    const QPointF local(200, 130), global = box.mapToGlobal(local);
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(&box, &press);
    QApplication::sendEvent(&box, &release);
}

int AboutBoxesAlive() // shown or hidden
{
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        count += dynamic_cast<P3DAboutBox*>(widget) != nullptr;
    return count;
}

TEST(P3DAboutBox, FindsEachPartInTheFirstFolderHoldingIt)
{
    const fs::path root = fs::temp_directory_path() / ("about-" + std::to_string(getpid()));
    fs::create_directories(root / "a");
    fs::create_directories(root / "b/Parallax3D_XXX.component");
    std::ofstream((root / "a/CIParallax3DInput.so").string()) << "x";
    const auto found = P3DFindComponents({(root / "a").string(), "", (root / "b").string()},
                                         {(root / "b").string(), (root / "a").string()});
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].kind, "component");
    EXPECT_EQ(found[0].path, (root / "b/Parallax3D_XXX.component").string());
    EXPECT_EQ(found[1].path, (root / "a/CIParallax3DInput.so").string());
    EXPECT_EQ(P3DFindComponents({}, {})[1].path, "");
    fs::remove_all(root);
}

TEST(P3DAboutBox, ShowsNameVersionAndPartsAndClosesOnAStillClick)
{
    p3dtest::WidgetApplication();
    const std::vector<P3DAboutComponent> parts = {{"component", "/x/Parallax3D_XXX.component"},
                                                  {"plug-in", ""}};
    EXPECT_EQ(P3DAboutText(parts).toStdString(),
              "Parallax3D\nVersion 1.201\ncomponent: /x/Parallax3D_XXX.component\n"
              "plug-in: not installed");
    P3DAboutBox box(parts);
    box.show();
    EXPECT_EQ(box.size(), QSize(420, 260)) << "the picture's size";
    StillClick(box);
    EXPECT_FALSE(box.isVisible());
}

TEST(P3DAboutBox, OneBoxAtATimeFreedByAStillClick)
{
    p3dtest::WidgetApplication();
    AppController controller;
    controller.showAbout();
    P3DAboutBox* box = controller.aboutBox();
    ASSERT_TRUE(box);
    controller.showAbout();
    EXPECT_EQ(controller.aboutBox(), box);
    EXPECT_EQ(AboutBoxesAlive(), 1);
    StillClick(*box);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(AboutBoxesAlive(), 0) << "freed, not only hidden";
}

} // namespace
