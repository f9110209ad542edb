// A control of the view kit that stores a target and an action: sending the action calls the
// target's method with the control (or another object) as sender. The target is borrowed and
// may go away first; then nothing is sent.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

class NSUITargetActionView : public QWidget
{
    Q_OBJECT

public:
    explicit NSUITargetActionView(QWidget* parent = nullptr);
    ~NSUITargetActionView() override;

    template <class Target> void setTargetAction(Target* target, void (Target::*action)(QObject*))
    {
        mTarget = target;
        mAction = [target, action](QObject* sender) { (target->*action)(sender); };
    }
    void clearTargetAction();
    QObject* target() const { return mTarget; }

    // Sends the action to the target with object as sender and returns once it has run; false
    // when there is no target or no action.
    bool performTargetActionWithObject(QObject* object);
    bool sendAction() { return performTargetActionWithObject(this); }

private:
    QPointer<QObject> mTarget;
    std::function<void(QObject*)> mAction;
};

bool import_NSUITargetActionView();
