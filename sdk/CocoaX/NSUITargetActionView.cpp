#include "NSUITargetActionView.h"

NSUITargetActionView::NSUITargetActionView(QWidget* parent) : QWidget(parent) {}

NSUITargetActionView::~NSUITargetActionView() = default;

void NSUITargetActionView::clearTargetAction()
{
    mTarget = nullptr;
    mAction = nullptr;
}

bool NSUITargetActionView::performTargetActionWithObject(QObject* object)
{
    if (!mTarget || !mAction)
        return false;
    mAction(object);
    return true;
}

bool import_NSUITargetActionView()
{
    return true;
}
