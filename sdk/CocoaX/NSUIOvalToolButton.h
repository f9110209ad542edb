// A tool button with a single image draws a translucent oval under it: control tint while on,
// near black while off. With an alternate image the images carry the state themselves.
#pragma once

#include <QColor>

#include "CoreGraphics.h"
#include "NSUIToolButton.h"

namespace CoreGraphics {
class PaintContext;
}

class NSUIOvalToolButton : public NSUIToolButton
{
public:
    explicit NSUIOvalToolButton(QWidget* parent = nullptr);

    static void drawBackground(CoreGraphics::PaintContext& context, CGRect bounds, int state,
                               const QColor& controlTint);

protected:
    void paintEvent(QPaintEvent* event) override;
};

inline constexpr auto import_NSUIOvalToolButton = import_NSUIToolButton;
