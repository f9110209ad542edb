#include "NSUINfoGraffik.h"

#include "NSImage_CocoaX.h"

NSUINfoGraffik::NSUINfoGraffik(int kind, const QString& title, QWidget* parent)
    : NSUIToolButton(parent), _buttonKind(kind)
{
    initGraffik(title);
}

NSUINfoGraffik::NSUINfoGraffik(int kind, const QString& title, QSize size, QWidget* parent)
    : NSUIToolButton(parent), _buttonKind(kind)
{
    resize(size);
    initGraffik(title);
}

void NSUINfoGraffik::initGraffik(const QString& title)
{
    setFocusPolicy(Qt::NoFocus); // no focus ring
    _buttonName.clear();
    if (!title.isEmpty())
        makeImages(title);
    initToolAttributes();
    cell()->setCellAttribute(NSUIButtonCell::kLightsByContents, 1);
}

void NSUINfoGraffik::setButtonName(const QString& name)
{
    if (name != _buttonName)
        _buttonName = name;
}

bool NSUINfoGraffik::isButtonNamed(const QString& name) const
{
    return !_buttonName.isEmpty() && _buttonName.compare(name, Qt::CaseInsensitive) == 0;
}

void NSUINfoGraffik::setButtonImageName(const QString& name)
{
    if (isButtonNamed(name))
        return;
    makeImages(name);
    update();
}

void NSUINfoGraffik::setImage(const QImage& image)
{
    setButtonImageName(NSImageName(image));
}

void NSUINfoGraffik::makeImages(const QString& name)
{
    // The title holds the picture's name, so that a title set past setTitle is found again.
    QAbstractButton::setText(name);
    setButtonCellImages(name, _buttonKind);
    setButtonName(name);
}

void NSUINfoGraffik::paintEvent(QPaintEvent* event)
{
    // QAbstractButton::setText and the text property are not virtual: their titles take effect
    // here, before anything of them is seen.
    if (_buttonName.compare(text(), Qt::CaseInsensitive) != 0)
        makeImages(text());
    NSUIToolButton::paintEvent(event);
}

bool import_NSUINfoGraffik()
{
    return import_NSUIToolButton();
}
