#include "P3DDocumentWindow.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QToolButton>

#include "P3DBroadcastControl.h"
#include "P3DStereoView.h"
#include "QCamGrabCGImageView.h"

P3DDocumentWindow::P3DDocumentWindow(QWidget* parent)
    : QMainWindow(parent), _grabViewLeftEye(new QCamGrabCGImageView),
      _grabViewRightEye(new QCamGrabCGImageView), _stereoView(new P3DStereoView),
      _broadcast(new P3DBroadcastControl), _monitorImageType(new QButtonGroup(this))
{
    setWindowTitle("Parallax3D");
    auto* central = new QWidget;
    auto* grid = new QGridLayout(central);
    _grabViewLeftEye->setObjectName("leftEye");
    _grabViewRightEye->setObjectName("rightEye");
    _grabViewLeftEye->setMinimumSize(320, 240);
    _grabViewRightEye->setMinimumSize(320, 240);
    grid->addWidget(_grabViewLeftEye, 0, 0);
    grid->addWidget(_grabViewRightEye, 0, 1);
    _stereoView->setMinimumSize(640, 480);
    grid->addWidget(_stereoView, 1, 0, 1, 2);
    grid->setRowStretch(1, 1);

    auto* controls = new QHBoxLayout;
    const struct
    {
        const char* title;
        const char* tip;
    } types[] = {{"Left", "The left eye alone"},
                 {"Stereo", "Both eyes as an anaglyph, for red-cyan glasses"},
                 {"Swapped", "The anaglyph with the eyes exchanged"},
                 {"Right", "The right eye alone"}};
    _monitorImageType->setExclusive(true);
    for (int i = 0; i < 4; ++i) {
        auto* button = new QToolButton;
        button->setText(tr(types[i].title));
        button->setToolTip(tr(types[i].tip));
        button->setCheckable(true);
        _monitorImageType->addButton(button, i + 1);
        controls->addWidget(button);
    }
    controls->addStretch(1);
    controls->addWidget(_broadcast);
    grid->addLayout(controls, 2, 0, 1, 2);
    setCentralWidget(central);

    QMenu* file = menuBar()->addMenu(tr("&File"));
    mNewAction = file->addAction(tr("&New"));
    mNewAction->setShortcut(QKeySequence::New);
    mCloseAction = file->addAction(tr("&Close"));
    mCloseAction->setShortcut(QKeySequence::Close);
    connect(mCloseAction, &QAction::triggered, this, &QWidget::close);
    QMenu* help = menuBar()->addMenu(tr("&Help"));
    mAboutAction = help->addAction(QString());
}

P3DDocumentWindow::~P3DDocumentWindow() = default;

void P3DDocumentWindow::closeEvent(QCloseEvent* event)
{
    emit windowWillClose();
    QMainWindow::closeEvent(event);
}
