// A colour well: a button showing its well's colour that opens a colour dialog. The colour and
// its forms live in the well (NSColorWell), which the button owns; the dialog's choices go
// straight into it.
#pragma once

#include <QPushButton>
#include <memory>

#include "NSColorWell.h"

class QColorDialog;

class NSUIColorWellButton : public QPushButton
{
    Q_OBJECT

public:
    explicit NSUIColorWellButton(QWidget* parent = nullptr);
    ~NSUIColorWellButton() override;

    NSColorWell& well() { return *mWell; }
    const NSColorWell& well() const { return *mWell; }
    // Opens the colour dialog on the well's colour (a click does this).
    virtual void activate();
    // The dialog, once opened; null before.
    QColorDialog* colorDialog() const { return mDialog.get(); }

protected:
    QColorDialog& dialog();
    // What a colour the user picks becomes in the well.
    virtual void takeColor(const QColor& in_color);
    void paintEvent(QPaintEvent* event) override;

private:
    std::unique_ptr<NSColorWell> mWell;
    std::unique_ptr<QColorDialog> mDialog;
};

bool import_NSUIColorWellButton();
