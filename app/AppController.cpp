#include "AppController.h"

#include <QAction>
#include <QApplication>
#include <QTimer>
#include <cstdio>

#include "CoreCommandLine.h"
#include "CoreMachDebugLog.h"
#include "P3DAboutBox.h"
#include "P3DBroadcastControl.h"
#include "P3DDocument.h"
#include "P3DDocumentWindow.h"
#include "PDFSkinWindow.h"

AppController::AppController(AppOptions options) : mOptions(std::move(options))
{
    VERIFY_AT("-[AppController awakeFromNib]", import_PDFSkinWindow());
}

AppController::~AppController()
{
    delete mAboutBox.data(); // still open
}

QString AppController::aboutItemTitle()
{
    return QString::asprintf("About %s %s\n", "Parallax3D", CoreCommandLine::Version());
}

void AppController::newDocument(QObject*)
{
    if (P3DDocument::countInstances() != 0) {
        QApplication::beep();
        return;
    }
    mDocument.reset(); // the closed one, if any
    mDocument = std::make_unique<P3DDocument>();
    // Before the cameras open, so they open once, at it.
    if (!mLaunched && mOptions.size)
        mDocument->setBroadcastSize(*mOptions.size);
    P3DDocumentWindow* window = mDocument->window();
    // A menu shows a title on one line.
    window->aboutAction()->setText(aboutItemTitle().trimmed());
    connect(window->aboutAction(), &QAction::triggered, this, &AppController::showAbout);
    connect(window->newAction(), &QAction::triggered, this, [this] { newDocument(this); });
    window->show();
    mDocument->windowControllerDidLoadNib();

    const bool launch = !std::exchange(mLaunched, true);
    mDocument->restoreCameras(launch ? mOptions.leftCamera : QString(),
                              launch ? mOptions.rightCamera : QString());
    if (!launch)
        return;
    if (mOptions.calibration)
        mDocument->useCalibration(*mOptions.calibration);
    if (mOptions.alignEyes)
        mDocument->alignEyes();
    if (mOptions.monitorType)
        mDocument->setMonitorImageType(*mOptions.monitorType);
    if (mOptions.broadcast)
        window->broadcastControl()->setBroadcastEnabled(*mOptions.broadcast);
    mDocument->setSnapshotPath(mOptions.snapshotPath);
    mDocument->setStatsPath(mOptions.statsPath);
    if (launch && mOptions.recordTo) {
        QString reason;
        if (!mDocument->startRecording(*mOptions.recordTo,
                                       mOptions.recordLayout.value_or(mDocument->recordLayout()),
                                       reason))
            fprintf(stderr, "parallax3d: cannot record to %s: %s\n",
                    mOptions.recordTo->location.c_str(), reason.toLocal8Bit().constData());
    }
    if (mOptions.quitAfterSeconds > 0)
        QTimer::singleShot(int(mOptions.quitAfterSeconds * 1000.0), window, &QWidget::close);
}

void AppController::terminate(QObject*)
{
    if (mDocument)
        mDocument->window()->close();
    QApplication::quit();
}

void AppController::showAbout()
{
    if (!mAboutBox) {
        // Closes on a click that does not move it.
        mAboutBox = new P3DAboutBox(P3DFindInstalledComponents());
        mAboutBox->setAttribute(Qt::WA_DeleteOnClose);
    }
    mAboutBox->show();
    mAboutBox->raise();
    mAboutBox->activateWindow();
}

int AppController::exitStatus() const
{
    return mDocument && mDocument->snapshotFailed() ? 1 : 0;
}

P3DAboutBox* AppController::aboutBox() const
{
    return mAboutBox;
}
