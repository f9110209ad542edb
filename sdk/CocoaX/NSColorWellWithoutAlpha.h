// A colour well for opaque colours: its dialog hides opacity, and its colours stay opaque.
#pragma once

#include "NSUIColorWellButton.h"

class NSColorWellWithoutAlpha : public NSUIColorWellButton
{
    Q_OBJECT

public:
    using NSUIColorWellButton::NSUIColorWellButton;
    void activate() override;

protected:
    void takeColor(const QColor& in_color) override;
};

bool import_NSColorWellWithoutAlpha();
