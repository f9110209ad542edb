// A colour well whose dialog offers opacity.
#pragma once

#include "NSUIColorWellButton.h"

class NSColorWellWithAlpha : public NSUIColorWellButton
{
    Q_OBJECT

public:
    using NSUIColorWellButton::NSUIColorWellButton;
    void activate() override;
};

bool import_NSColorWellWithAlpha();
