// Graffik buttons make their own off and on images from the picture their title names, at the
// size they have when the picture is set; a new title is a new picture, never shown as text.
// A title set past setTitle (QAbstractButton::setText, the text property) is made into images
// when the button next draws.
#pragma once

#include "NSUIToolButton.h"

class NSUINfoGraffik : public NSUIToolButton
{
public:
    explicit NSUINfoGraffik(QWidget* parent = nullptr) : NSUINfoGraffik(0, QString(), parent) {}
    NSUINfoGraffik(const QString& title, QSize size, QWidget* parent = nullptr)
        : NSUINfoGraffik(0, title, size, parent)
    {
    }

    int buttonKind() const { return _buttonKind; }
    const QString& buttonName() const { return _buttonName; }
    void setButtonKind(int kind) { _buttonKind = kind; }
    void setButtonName(const QString& name);
    // Whether the images were made from that picture, in any letter case.
    bool isButtonNamed(const QString& name) const;
    // Remakes both images for another picture and redraws; the same picture changes nothing.
    void setButtonImageName(const QString& name);
    void setTitle(const QString& title) { setButtonImageName(title); }
    // What interface files call to set the title: the picture, not a text.
    void setText(const QString& title) { setTitle(title); }
    // The picture an image of NSImageNamed is named by.
    void setImage(const QImage& image) override;

protected:
    NSUINfoGraffik(int kind, const QString& title, QWidget* parent);
    NSUINfoGraffik(int kind, const QString& title, QSize size, QWidget* parent);

    void paintEvent(QPaintEvent* event) override;

private:
    void initGraffik(const QString& title);
    void makeImages(const QString& name);

    int _buttonKind = 0;
    QString _buttonName;
};

// The graffik buttons that only choose their shape: 3 circle, 2 rounded square.
template <int Kind> class NSUINfoGraffikOfKind final : public NSUINfoGraffik
{
public:
    explicit NSUINfoGraffikOfKind(QWidget* parent = nullptr)
        : NSUINfoGraffik(Kind, QString(), parent)
    {
    }
    NSUINfoGraffikOfKind(const QString& title, QSize size, QWidget* parent = nullptr)
        : NSUINfoGraffik(Kind, title, size, parent)
    {
    }
};

using NSUINfoGraffikRound = NSUINfoGraffikOfKind<3>;
using NSUINfoGraffikRoundRect = NSUINfoGraffikOfKind<2>;

bool import_NSUINfoGraffik();
