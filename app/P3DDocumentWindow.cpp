#include "P3DDocumentWindow.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>
#include <QToolButton>

#include "ComfortCheck.h"
#include "NSUICICameraControls.h"
#include "NSUISegmentedControl.h"
#include "P3DBroadcastControl.h"
#include "P3DComfortBar.h"
#include "P3DEyeAlignmentControls.h"
#include "P3DStereoView.h"
#include "QCamGrabCGImageView.h"
#include "QCamOutputBase.h"

namespace {

// The Record button's red dot.
QIcon RecordDot()
{
    QPixmap dot(12, 12);
    dot.fill(Qt::transparent);
    QPainter painter(&dot);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xd0, 0x20, 0x20));
    painter.drawEllipse(1, 1, 10, 10);
    return dot;
}

} // namespace

P3DDocumentWindow::P3DDocumentWindow(StereoMonitor* monitor, QWidget* parent)
    : QMainWindow(parent), _grabViewLeftEye(new QCamGrabCGImageView),
      _grabViewRightEye(new QCamGrabCGImageView), _stereoView(new P3DStereoView(monitor)),
      _broadcast(new P3DBroadcastControl), _monitorImageType(new NSUISegmentedControl),
      _imageControls(new NSUICICameraControls(this))
{
    // A window of its own beside the stereo window, closed with it.
    _imageControls->setWindowFlag(Qt::Tool);
    _imageControls->setChain(&monitor->chain());
    mEyeAlignment = new P3DEyeAlignmentControls(monitor);
    _imageControls->addSection(mEyeAlignment);
    setWindowTitle("Parallax3D");
    auto* central = new QWidget;
    auto* grid = new QGridLayout(central);
    _grabViewLeftEye->setObjectName("leftEye");
    _grabViewRightEye->setObjectName("rightEye");
    setFrameSize(QSize(QCamOutputBase::sCameraFormat.width, QCamOutputBase::sCameraFormat.height));
    grid->setHorizontalSpacing(0);
    grid->addWidget(_grabViewLeftEye, 0, 0);
    grid->addWidget(_grabViewRightEye, 0, 1);
    grid->addWidget(_stereoView, 1, 0, 1, 2);
    grid->setRowStretch(1, 1);

    mComfortRow = new QWidget;
    auto* comfort = new QHBoxLayout(mComfortRow);
    comfort->setContentsMargins(0, 0, 0, 0);
    mComfortBar = new P3DComfortBar;
    comfort->addWidget(mComfortBar, 1);
    mComfortBudgetBox = new QDoubleSpinBox;
    mComfortBudgetBox->setRange(ComfortCheck::kMinBudgetPercent, ComfortCheck::kMaxBudgetPercent);
    mComfortBudgetBox->setSingleStep(0.5);
    mComfortBudgetBox->setDecimals(1);
    mComfortBudgetBox->setPrefix(tr("Budget ±"));
    mComfortBudgetBox->setSuffix(tr(" % of the width"));
    mComfortBudgetBox->setToolTip(
        tr("How far in front of the screen and behind it the picture may reach and stay "
           "comfortable to watch"));
    comfort->addWidget(mComfortBudgetBox);
    mComfortRow->hide();
    grid->addWidget(mComfortRow, 2, 0, 1, 2);
    mComfortStatus = new QLabel;
    mComfortWarning = new QLabel;
    mComfortWarning->setStyleSheet("color: #e07020; font-weight: bold");
    mComfortWarning->setToolTip(
        tr("Too much depth: the picture reaches further in front of the screen or behind it than "
           "the budget. Window violation: something in front of the screen is cut by the "
           "picture's edge, which the eyes cannot fuse"));
    statusBar()->addWidget(mComfortStatus);
    statusBar()->addWidget(mComfortWarning, 1);
    mPipelineStatus = new QLabel;
    mPipelineStatus->setToolTip(
        tr("Each eye's frames per second, how much later the right eye's frame was captured "
           "than the left eye's, the delay from capture to broadcast over the last 5 s, and the "
           "frames no tick used"));
    mRecordStatus = new QLabel;
    mRecordStatus->setToolTip(tr("The time recorded, the size written and the frames the encoder "
                                 "could not keep up with"));
    mRecordStatus->hide();
    statusBar()->addPermanentWidget(mRecordStatus);
    statusBar()->addPermanentWidget(mPipelineStatus);

    auto* controls = new QHBoxLayout;
    const char* const types[] = {"Left", "Stereo", "Swapped", "Right", "Depth"};
    _monitorImageType->setSegmentCount(5);
    for (int i = 0; i < 5; ++i)
        _monitorImageType->setLabel(tr(types[i]), i);
    _monitorImageType->setToolTip(
        tr("What the monitor shows: the left eye, both eyes in the chosen encoding, the same "
           "with the eyes exchanged, the right eye, or the depth the two eyes see (near warm, "
           "far cool)"));
    _stereoView->setMonitorImageTypeControl(_monitorImageType);
    controls->addWidget(_monitorImageType);
    auto* imageControlsButton = new QToolButton;
    controls->addWidget(imageControlsButton);
    controls->addStretch(1);
    controls->addSpacing(12);
    mRecordButton = new QToolButton;
    mRecordButton->setText(tr("Record"));
    mRecordButton->setIcon(RecordDot());
    mRecordButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    mRecordButton->setCheckable(true);
    // The style's checked look is faint; a running recording should show from across the room.
    mRecordButton->setStyleSheet("QToolButton:checked { color: #c01818; font-weight: bold }");
    controls->addWidget(mRecordButton);
    controls->addWidget(_broadcast);
    grid->addLayout(controls, 3, 0, 1, 2);
    setCentralWidget(central);

    auto* imageControlsAction = new QAction(tr("&Image Controls…"), this);
    imageControlsAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    imageControlsAction->setToolTip(tr("Exposure, colour, mirror and white balance of the eyes"));
    imageControlsButton->setDefaultAction(imageControlsAction);
    connect(imageControlsAction, &QAction::triggered, this, [this] {
        _imageControls->show();
        _imageControls->raise();
    });

    QMenu* file = menuBar()->addMenu(tr("&File"));
    mNewAction = file->addAction(tr("&New"));
    mNewAction->setShortcut(QKeySequence::New);
    file->addSeparator();
    mRecordAction = file->addAction(QString());
    mRecordAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    mStreamAction = file->addAction(QString());
    mRecordOptionsAction = file->addAction(tr("Recording &Options…"));
    file->addSeparator();
    QAction* closeAction = file->addAction(tr("&Close"));
    closeAction->setShortcut(QKeySequence::Close);
    connect(closeAction, &QAction::triggered, this, &QWidget::close);
    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->addAction(imageControlsAction);
    view->addSeparator();
    mCalibrateEyesAction = view->addAction(tr("&Calibrate Eyes…"));
    mRectifyEyesAction = view->addAction(tr("&Rectify Eyes"));
    mRectifyEyesAction->setCheckable(true);
    mRectifyEyesAction->setEnabled(false); // until the cameras have a calibration
    mLoadCalibrationAction = view->addAction(tr("&Load Calibration…"));
    mAlignEyesAction = view->addAction(tr("&Align Eyes Automatically"));
    mAlignEyesAction->setToolTip(tr("Rows of the two eyes made to meet from the picture alone"));
    mUndoAlignmentAction = view->addAction(tr("&Undo Eye Alignment"));
    mUndoAlignmentAction->setEnabled(false); // until the cameras have an alignment
    mKeepAlignedAction = view->addAction(tr("&Keep Eyes Aligned"));
    mKeepAlignedAction->setCheckable(true);
    view->addSeparator();
    QMenu* monitorMenu = view->addMenu(tr("&Monitor"));
    mMonitorTypeGroup = new QActionGroup(this);
    mMonitorTypeGroup->setExclusive(true);
    const char* const items[] = {"&Left Eye", "&Stereo", "S&wapped Eyes", "&Right Eye", "&Depth"};
    for (int i = 0; i < 5; ++i) {
        QAction* item = monitorMenu->addAction(tr(items[i]));
        item->setCheckable(true);
        item->setData(i + 1);
        mMonitorTypeGroup->addAction(item);
    }
    QMenu* sizeMenu = view->addMenu(tr("Si&ze"));
    sizeMenu->setToolTip(tr("The size the cameras are opened at, shown and broadcast"));
    mSizeGroup = new QActionGroup(this);
    mSizeGroup->setExclusive(true);
    for (const QCamOutputFormat& format : QCamOutputBase::sBroadcastFormats) {
        QAction* item = sizeMenu->addAction(tr("%1 x %2").arg(format.width).arg(format.height));
        item->setCheckable(true);
        item->setData(QString::fromStdString(QCamOutputBase::FormatName(format)));
        mSizeGroup->addAction(item);
    }
    mComfortBarAction = view->addAction(tr("Com&fort Bar"));
    mComfortBarAction->setCheckable(true);
    mAutoConvergenceAction = view->addAction(tr("&Automatic Convergence"));
    mAutoConvergenceAction->setCheckable(true);
    mEncodingMenu = menuBar()->addMenu(tr("&Encoding"));
    mEncodingMenu->setToolTipsVisible(true); // why a user's kernel is unavailable
    mEncodingGroup = new QActionGroup(this);
    mEncodingGroup->setExclusive(true);
    QMenu* help = menuBar()->addMenu(tr("&Help"));
    mAboutAction = help->addAction(QString());
    showRecording(false, false);
}

P3DDocumentWindow::~P3DDocumentWindow() = default;

void P3DDocumentWindow::showRecording(bool running, bool stream)
{
    mRecordAction->setText(running && !stream ? tr("Stop &Recording") : tr("&Record…"));
    mRecordAction->setEnabled(!running || !stream);
    mStreamAction->setText(running && stream ? tr("Stop &Streaming") : tr("&Stream…"));
    mStreamAction->setEnabled(!running || stream);
    mRecordButton->setChecked(running);
    mRecordButton->setToolTip(running
                                  ? (stream ? tr("Stop streaming") : tr("Stop recording"))
                                  : tr("Record the picture into a file; File > Recording Options… "
                                       "sets what it holds"));
    mRecordStatus->setVisible(running);
    // A recording keeps the size it started at.
    mSizeGroup->setEnabled(!running);
}

void P3DDocumentWindow::setFrameSize(QSize frame)
{
    if (frame.isEmpty())
        return;
    // The two eyes side by side are as wide as the monitor under them.
    constexpr int kMonitorWidth = 640;
    const QSize monitor(kMonitorWidth, kMonitorWidth * frame.height() / frame.width());
    _grabViewLeftEye->setMinimumSize(monitor / 2);
    _grabViewRightEye->setMinimumSize(monitor / 2);
    _stereoView->setMinimumSize(monitor);
}

void P3DDocumentWindow::closeEvent(QCloseEvent* event)
{
    emit windowWillClose();
    _imageControls->close();
    QMainWindow::closeEvent(event);
}
