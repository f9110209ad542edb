#include "P3DComfortBar.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

P3DComfortBar::P3DComfortBar(QWidget* parent) : QWidget(parent)
{
    setFixedHeight(sizeHint().height());
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setToolTip(tr("The depth of the picture: the nearest and the farthest of it (2nd to 98th "
                  "percentile of parallax), in front of the screen to the left of the white "
                  "line, against the comfort budget (the green band)"));
}

void P3DComfortBar::setReading(bool measured, double nearParallax, double farParallax,
                               double budgetPixels, bool warned)
{
    if (measured == mMeasured && nearParallax == mNear && farParallax == mFar &&
        budgetPixels == mBudget && warned == mWarned)
        return;
    mMeasured = measured;
    mNear = nearParallax;
    mFar = farParallax;
    mBudget = budgetPixels;
    mWarned = warned;
    update();
}

void P3DComfortBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRectF area = rect();
    painter.fillRect(area, QColor(40, 40, 40));
    // Twice the budget either way, or as far as the picture reaches.
    double reach = std::max(2 * mBudget, 1.0);
    if (mMeasured)
        reach = std::max({reach, std::fabs(mNear) * 1.1, std::fabs(mFar) * 1.1});
    const auto at = [&](double parallax) {
        return area.left() + area.width() * (0.5 + parallax / (2 * reach));
    };
    painter.fillRect(QRectF(QPointF(at(-mBudget), area.top()), QPointF(at(mBudget), area.bottom())),
                     QColor(45, 110, 60));
    if (mMeasured)
        painter.fillRect(QRectF(QPointF(at(mNear), area.top() + 4),
                                QPointF(std::max(at(mFar), at(mNear) + 2), area.bottom() - 4)),
                         mWarned ? QColor(235, 120, 40) : QColor(120, 180, 245));
    painter.setPen(QPen(Qt::white, 2));
    painter.drawLine(QPointF(at(0), area.top()), QPointF(at(0), area.bottom()));
}
