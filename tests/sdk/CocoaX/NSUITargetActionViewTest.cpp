#include <gtest/gtest.h>
#include <memory>

#include "NSUITargetActionView.h"
#include "WidgetApplication.h"

namespace {

struct Target : QObject
{
    void act(QObject* sender) { senders.push_back(sender); }
    std::vector<QObject*> senders;
};

TEST(NSUITargetActionView, SendsItsActionToALiveTargetOnly)
{
    p3dtest::WidgetApplication();
    NSUITargetActionView view;
    EXPECT_FALSE(view.sendAction()) << "no target yet";
    auto target = std::make_unique<Target>();
    view.setTargetAction(target.get(), &Target::act);
    QObject other;
    EXPECT_TRUE(view.sendAction());
    EXPECT_TRUE(view.performTargetActionWithObject(&other));
    EXPECT_EQ(target->senders, (std::vector<QObject*>{&view, &other}));
    target.reset(); // the target goes first
    EXPECT_EQ(view.target(), nullptr);
    EXPECT_FALSE(view.sendAction());
}

} // namespace
