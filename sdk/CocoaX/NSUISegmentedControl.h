// A row of titled segments of equal width, one of them selected; a click selects a segment and
// sends the action to the target. The stereo window chooses its monitor type with one.
#pragma once

#include <QStringList>

#include "NSUITargetActionView.h"

class NSUISegmentedControl : public NSUITargetActionView
{
public:
    explicit NSUISegmentedControl(QWidget* parent = nullptr);

    // Titles of new segments are empty; a selection beyond the new count goes.
    void setSegmentCount(int count);
    int segmentCount() const { return static_cast<int>(mLabels.size()); }
    // False for a segment that does not exist.
    bool setLabel(const QString& label, int segment);
    QString labelForSegment(int segment) const;
    // -1 selects none; false (and no change) for a segment that does not exist.
    bool setSelectedSegment(int segment);
    int selectedSegment() const { return mSelected; }

    // The segment under x in a control of that width, or -1.
    static int SegmentAt(int count, qreal width, qreal x);
    static QRectF SegmentRect(int count, QSizeF size, int segment);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QStringList mLabels;
    int mSelected = -1;
};

bool import_NSUISegmentedControl();
