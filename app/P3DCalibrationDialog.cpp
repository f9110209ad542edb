#include "P3DCalibrationDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "CGPixelOrder.h"
#include "CalibrationSession.h"
#include "QAspectFit.h"

namespace {

using Phase = CalibrationSnapshot::Phase;
using Verdict = CalibrationViewPicker::Verdict;

constexpr QSize kEyeSize(320, 240);
constexpr QSize kCoverageSize(160, 120);
constexpr int kPreviewLines = 12;

QString Hint(const CalibrationSnapshot& state)
{
    switch (state.phase) {
    case Phase::kCalibrating:
        return "Calibrating…";
    case Phase::kDone:
        return "Each point should lie on the same line in both eyes";
    case Phase::kFailed:
        return "";
    case Phase::kCollecting:
        break;
    }
    switch (state.verdict) {
    case Verdict::kNoBoard:
        return "Show the whole board to both cameras";
    case Verdict::kMoving:
    case Verdict::kHolding:
        return "Hold the board still";
    case Verdict::kSeenBefore:
        return "Move the board to a new place";
    case Verdict::kTake:
        return "View taken";
    }
    return "";
}

QString Result(const CalibrationSnapshot& state)
{
    if (state.phase == Phase::kFailed)
        return "Calibration failed: " + QString::fromStdString(state.reason);
    if (state.phase != Phase::kDone)
        return "";
    return QString("RMS error %1 px, vertical error %2 px, baseline %3 mm")
        .arg(state.report.rms, 0, 'f', 2)
        .arg(state.report.verticalError, 0, 'f', 2)
        .arg(state.report.baselineMm, 0, 'f', 1);
}

QWidget* PaintedArea(QSize size)
{
    auto* area = new QWidget;
    area->setFixedSize(size);
    return area;
}

} // namespace

P3DCalibrationDialog::P3DCalibrationDialog(QWidget* parent)
    : QDialog(parent), mSession(std::make_unique<CalibrationSession>())
{
    setWindowTitle("Calibrate Eyes");
    for (QImage& eye : mEyes) {
        eye = QImage(kEyeSize, QImage::Format_RGB32);
        eye.fill(Qt::black);
    }
    auto* layout = new QVBoxLayout(this);
    auto* eyes = new QHBoxLayout;
    for (QWidget*& area : mEyeAreas) {
        area = PaintedArea(kEyeSize);
        eyes->addWidget(area);
    }
    layout->addLayout(eyes);
    mHint = new QLabel;
    mHint->setObjectName("hint");
    QFont font = mHint->font();
    font.setPointSizeF(font.pointSizeF() * 1.4);
    font.setBold(true);
    mHint->setFont(font);
    mHint->setAlignment(Qt::AlignCenter);
    layout->addWidget(mHint);
    auto* status = new QHBoxLayout;
    auto* texts = new QVBoxLayout;
    mProgress = new QLabel;
    mProgress->setObjectName("progress");
    mResult = new QLabel;
    mResult->setObjectName("result");
    mResult->setWordWrap(true);
    texts->addWidget(mProgress);
    texts->addWidget(mResult);
    texts->addStretch();
    status->addLayout(texts, 1);
    mCoverageArea = PaintedArea(kCoverageSize);
    mCoverageArea->setToolTip("Where the board has been");
    status->addWidget(mCoverageArea);
    layout->addLayout(status);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    mTryAgain = new QPushButton("Try Again");
    mTryAgain->setObjectName("tryAgain");
    mKeep = new QPushButton("Keep");
    mKeep->setObjectName("keep");
    mKeep->setDefault(true);
    buttons->addWidget(mTryAgain);
    buttons->addWidget(mKeep);
    layout->addLayout(buttons);
    connect(mKeep, &QPushButton::clicked, this, &P3DCalibrationDialog::keep);
    connect(mTryAgain, &QPushButton::clicked, this, &P3DCalibrationDialog::tryAgain);
    mSession->Snapshot(mState);
    showState();
}

P3DCalibrationDialog::~P3DCalibrationDialog() = default;

void P3DCalibrationDialog::eyeFrames(const ArgbView& left, const ArgbView& right, double time_s)
{
    mSession->Feed(left, right, time_s);
    mSession->Snapshot(mState);
    const bool done = mState.phase == Phase::kDone;
    mRectifiedShown = done;
    const ArgbView frames[2] = {left, right};
    for (int eye = 0; eye < 2; ++eye) {
        ArgbView shown = frames[eye];
        if (!shown.pixels || shown.width <= 0 || shown.height <= 0)
            continue; // an eye without a camera keeps its last picture
        if (done) {
            const size_t rowBytes = size_t(shown.width) * 4;
            mRectified[eye].resize(rowBytes * size_t(shown.height));
            if (mSession->RectifyPreview(eye, shown, mRectified[eye].data(), rowBytes))
                shown = {mRectified[eye].data(), rowBytes, shown.width, shown.height};
            else
                mRectifiedShown = false;
        }
        // Its shape kept inside the eye's area: the rest is black bars.
        QImage& image = mEyes[eye];
        const QAspectFit fit =
            QAspectFit::Inside(shown.width, shown.height, kEyeSize.width(), kEyeSize.height());
        if (image.size() != QSize(fit.width, fit.height))
            image = QImage(fit.width, fit.height, QImage::Format_RGB32);
        CGScaleARGBPixels(shown.pixels, shown.rowBytes, size_t(shown.width), size_t(shown.height),
                          image.bits(), size_t(image.bytesPerLine()), size_t(image.width()),
                          size_t(image.height()), CGPixelOrder::kBGRA);
    }
    showState();
    update();
}

void P3DCalibrationDialog::showState()
{
    mHint->setText(Hint(mState));
    mProgress->setText(QString("%1 of %2 views").arg(mState.viewsTaken).arg(mState.target));
    mResult->setText(Result(mState));
    mKeep->setEnabled(mState.phase == Phase::kDone);
    mTryAgain->setEnabled(mState.phase != Phase::kCalibrating);
}

void P3DCalibrationDialog::keep()
{
    if (mState.phase != Phase::kDone)
        return;
    emit calibrationKept(mState.calibration);
    accept();
}

void P3DCalibrationDialog::tryAgain()
{
    mSession->Restart();
    mSession->Snapshot(mState);
    mRectifiedShown = false;
    showState();
    update();
}

QRect P3DCalibrationDialog::area(const QWidget* widget) const
{
    return QRect(widget->mapTo(this, QPoint(0, 0)), widget->size());
}

void P3DCalibrationDialog::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool framed = mState.width > 0 && mState.height > 0;
    const bool both = !mState.corners[0].empty() && !mState.corners[1].empty();
    for (int eye = 0; eye < 2; ++eye) {
        const QRect box = area(mEyeAreas[eye]);
        const QSize size = mEyes[eye].size();
        const QRect r(box.topLeft() + QPoint((box.width() - size.width()) / 2,
                                             (box.height() - size.height()) / 2),
                      size);
        if (r != box)
            painter.fillRect(box, Qt::black);
        painter.drawImage(r, mEyes[eye]);
        const std::vector<float>& corners = mState.corners[eye];
        if (mState.phase != Phase::kCollecting || !framed || corners.empty())
            continue;
        // Corners in the frame's pixels, painted at the view's scale.
        const double sx = r.width() / double(mState.width), sy = r.height() / double(mState.height);
        mPoints.clear();
        for (size_t i = 0; i + 1 < corners.size(); i += 2)
            mPoints.emplace_back(r.left() + corners[i] * sx, r.top() + corners[i + 1] * sy);
        painter.setPen(QPen(both ? QColor(40, 220, 60) : QColor(240, 150, 30), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawPolyline(mPoints.data(), int(mPoints.size()));
        for (const QPointF& point : mPoints)
            painter.drawEllipse(point, 2.5, 2.5);
    }
    if (mRectifiedShown) {
        // Lines across both eyes: a point of the scene lies on the same one in each.
        const QRect left = area(mEyeAreas[0]), right = area(mEyeAreas[1]);
        painter.setPen(QPen(QColor(255, 40, 40, 200), 1));
        for (int i = 1; i < kPreviewLines; ++i) {
            const double y = left.top() + left.height() * i / double(kPreviewLines);
            painter.drawLine(QPointF(left.left(), y), QPointF(right.right() + 1, y));
        }
    }
    const QRect coverage = area(mCoverageArea);
    painter.fillRect(coverage, QColor(30, 30, 34));
    if (!framed)
        return;
    const double sx = coverage.width() / double(mState.width);
    const double sy = coverage.height() / double(mState.height);
    painter.setPen(QPen(QColor(40, 220, 60), 1));
    painter.setBrush(QColor(40, 220, 60, 50));
    for (const CalibrationViewPicker::Outline& outline : mState.outlines) {
        mPoints.clear();
        for (size_t i = 0; i < outline.size(); i += 2)
            mPoints.emplace_back(coverage.left() + outline[i] * sx,
                                 coverage.top() + outline[i + 1] * sy);
        painter.drawPolygon(mPoints.data(), int(mPoints.size()));
    }
}
