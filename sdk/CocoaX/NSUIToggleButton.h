// A tool button that stays on when clicked and shows its alternate image while on.
#pragma once

#include "NSUIToolButton.h"

class NSUIToggleButton : public NSUIToolButton
{
public:
    explicit NSUIToggleButton(QWidget* parent = nullptr);
};

// The same anchor as the tool button's.
inline constexpr auto import_NSUIToggleButton = import_NSUIToolButton;
