// The comfort bar under the monitor: the range of parallax the picture spans (its 2nd to 98th
// percentile) against the comfort budget, with the screen's plane at 0; in front of the screen
// to the left. It only paints what the document's comfort check found.
#pragma once

#include <QWidget>

class P3DComfortBar : public QWidget
{
    Q_OBJECT

public:
    explicit P3DComfortBar(QWidget* parent = nullptr);

    // Monitor pixels; measured false shows the budget alone. warned paints the range in the
    // warning colour.
    void setReading(bool measured, double nearParallax, double farParallax, double budgetPixels,
                    bool warned);

    QSize sizeHint() const override { return {320, 18}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool mMeasured = false;
    double mNear = 0, mFar = 0, mBudget = 0;
    bool mWarned = false;
};
