// Toggle buttons with generated images: 0 rounded square, 1 circle (radio), and the
// push-on/push-off button with the circle of kind 4.
#pragma once

#include "NSUIToggleButton.h"

template <int Kind, bool PushOnPushOff>
class NSUINfoGraffikToggleOfKind final : public NSUIToggleButton
{
public:
    explicit NSUINfoGraffikToggleOfKind(QWidget* parent = nullptr) : NSUIToggleButton(parent)
    {
        init();
    }
    NSUINfoGraffikToggleOfKind(const QString& title, QSize size, QWidget* parent = nullptr)
        : NSUIToggleButton(parent)
    {
        resize(size);
        setText(title);
        init();
    }

private:
    void init()
    {
        if (!text().isEmpty())
            initInfoGraffik(Kind);
        setText(QString());
        if (PushOnPushOff)
            cell()->buttonType = 1;
    }
};

using NSUINfoGraffikToggle = NSUINfoGraffikToggleOfKind<0, false>;
using NSUINfoGraffikRadio = NSUINfoGraffikToggleOfKind<1, false>;
using NSUINfoGraffikRoundPushOnPushOff = NSUINfoGraffikToggleOfKind<4, true>;
