#include "NSUINfoGraffik.h"

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
    setButtonName(title);
    if (!title.isEmpty())
        setButtonCellImages(title, _buttonKind);
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
    setButtonCellImages(name, _buttonKind);
    setButtonName(name);
    update();
}

bool import_NSUINfoGraffik()
{
    return import_NSUIToolButton();
}
