// The application's delegate: titles the About item and keeps one stereo document at a time.
#pragma once

#include <QObject>
#include <QPointer>
#include <memory>

#include "AppOptions.h"

class P3DAboutBox;
class P3DDocument;

class AppController : public QObject
{
    Q_OBJECT

public:
    explicit AppController(AppOptions options = AppOptions());
    ~AppController() override;

    // "About Parallax3D 1.201\n": the format's line feed stays in the title.
    static QString aboutItemTitle();
    // File > New: a stereo document when none is open, else a beep.
    void newDocument(QObject* sender);
    // One About box at a time: a second About raises the one shown.
    void showAbout();
    P3DAboutBox* aboutBox() const;
    // Ends the program as closing the stereo window does (cameras closed, preferences saved,
    // broadcast stopped), whatever other windows are open; a signal's way out.
    void terminate(QObject* sender);
    P3DDocument* document() const { return mDocument.get(); }
    // The program's exit status once the loop ended: 1 when the snapshot asked for was not saved.
    int exitStatus() const;

private:
    AppOptions mOptions;
    bool mLaunched = false; // the options apply to the document of the launch only
    std::unique_ptr<P3DDocument> mDocument;
    QPointer<P3DAboutBox> mAboutBox; // frees itself when it closes
};
