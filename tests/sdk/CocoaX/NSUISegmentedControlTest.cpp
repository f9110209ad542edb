#include <QApplication>
#include <QMouseEvent>
#include <gtest/gtest.h>

#include "NSUISegmentedControl.h"
#include "WidgetApplication.h"

namespace {

struct Target : QObject
{
    void act(QObject* sender) { senders.push_back(sender); }
    std::vector<QObject*> senders;
};

TEST(NSUISegmentedControl, SegmentUnderTheMouse)
{
    struct Case
    {
        int count;
        qreal width, x;
        int want;
    };
    const Case cases[] = {
        {4, 200, 0, 0},    {4, 200, 49.9, 0}, {4, 200, 50, 1},  {4, 200, 199.9, 3},
        {4, 200, 200, -1}, {4, 200, -1, -1},  {0, 200, 10, -1}, {3, 0, 0, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NSUISegmentedControl::SegmentAt(c.count, c.width, c.x), c.want)
            << c.count << " segments, x " << c.x;
    EXPECT_EQ(NSUISegmentedControl::SegmentRect(4, QSizeF(200, 20), 2), QRectF(100, 0, 50, 20));
    EXPECT_TRUE(NSUISegmentedControl::SegmentRect(4, QSizeF(200, 20), 4).isNull());
}

TEST(NSUISegmentedControl, ClickSelectsAndSendsTheAction)
{
    p3dtest::WidgetApplication();
    NSUISegmentedControl control;
    control.setSegmentCount(4);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(control.setLabel(QString("M%1").arg(i), i));
    EXPECT_FALSE(control.setLabel("none", 4));
    EXPECT_FALSE(control.setSelectedSegment(4));
    EXPECT_EQ(control.selectedSegment(), -1);
    Target target;
    control.setTargetAction(&target, &Target::act);
    control.resize(200, 24);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(120, 10), QPointF(120, 10), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&control, &press);
    EXPECT_EQ(control.selectedSegment(), 2);
    EXPECT_EQ(target.senders, std::vector<QObject*>{&control});

    control.setSegmentCount(2);
    EXPECT_EQ(control.selectedSegment(), -1) << "the selected segment went";
    EXPECT_EQ(control.labelForSegment(1), "M1");
    EXPECT_EQ(control.labelForSegment(2), "");
}

} // namespace
