#include "NSUISegmentedControl.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "NSUINfoGraffikImage.h"

NSUISegmentedControl::NSUISegmentedControl(QWidget* parent) : NSUITargetActionView(parent)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void NSUISegmentedControl::setSegmentCount(int count)
{
    const int n = std::max(0, count);
    while (mLabels.size() < n)
        mLabels.append(QString());
    while (mLabels.size() > n)
        mLabels.removeLast();
    if (mSelected >= n)
        mSelected = -1;
    updateGeometry();
    update();
}

bool NSUISegmentedControl::setLabel(const QString& label, int segment)
{
    if (segment < 0 || segment >= segmentCount())
        return false;
    mLabels[segment] = label;
    updateGeometry();
    update();
    return true;
}

QString NSUISegmentedControl::labelForSegment(int segment) const
{
    return segment >= 0 && segment < segmentCount() ? mLabels[segment] : QString();
}

bool NSUISegmentedControl::setSelectedSegment(int segment)
{
    if (segment < -1 || segment >= segmentCount())
        return false;
    mSelected = segment;
    update();
    return true;
}

int NSUISegmentedControl::SegmentAt(int count, qreal width, qreal x)
{
    if (count <= 0 || width <= 0 || x < 0 || x >= width)
        return -1;
    return std::min(count - 1, static_cast<int>(std::floor(x * count / width)));
}

QRectF NSUISegmentedControl::SegmentRect(int count, QSizeF size, int segment)
{
    if (count <= 0 || segment < 0 || segment >= count)
        return QRectF();
    const qreal w = size.width() / count;
    return QRectF(segment * w, 0, w, size.height());
}

QSize NSUISegmentedControl::sizeHint() const
{
    const QFontMetrics metrics(font());
    int widest = 24;
    for (const QString& label : mLabels)
        widest = std::max(widest, metrics.horizontalAdvance(label) + 20);
    return QSize(widest * std::max(1, segmentCount()), metrics.height() + 10);
}

void NSUISegmentedControl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath outline;
    outline.addRoundedRect(frame, 5, 5);
    painter.fillPath(outline, palette().color(QPalette::Button));
    const int count = segmentCount();
    painter.setClipPath(outline);
    for (int i = 0; i < count; ++i) {
        const QRectF segment = SegmentRect(count, size(), i);
        if (i == mSelected)
            painter.fillRect(segment, NSUIControlTintColor());
        painter.setPen(i == mSelected ? palette().color(QPalette::HighlightedText)
                                      : palette().color(QPalette::ButtonText));
        painter.drawText(segment, Qt::AlignCenter, mLabels[i]);
        if (i > 0) {
            painter.setPen(palette().color(QPalette::Mid));
            painter.drawLine(segment.topLeft(), segment.bottomLeft());
        }
    }
    painter.setClipping(false);
    painter.setPen(palette().color(QPalette::Mid));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(outline);
}

void NSUISegmentedControl::mousePressEvent(QMouseEvent* event)
{
    const int segment = SegmentAt(segmentCount(), width(), event->position().x());
    if (event->button() != Qt::LeftButton || segment < 0) {
        NSUITargetActionView::mousePressEvent(event);
        return;
    }
    setSelectedSegment(segment);
    sendAction();
}

bool import_NSUISegmentedControl()
{
    return import_NSUITargetActionView();
}
