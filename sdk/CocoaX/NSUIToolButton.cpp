#include "NSUIToolButton.h"

#include <QPainter>

#include "CoreMachDebugLog.h"
#include "NSUINfoGraffikImage.h"

void NSUIButtonCell::setCellAttribute(int attribute, int value)
{
    switch (attribute) {
    case kLightsByContents:
        lightsByContents = value != 0;
        break;
    case kLightsByGray:
        lightsByGray = value != 0;
        break;
    case kLightsByBackground:
        lightsByBackground = value != 0;
        break;
    case kChangesContents:
        changesContents = value != 0;
        break;
    default:
        break;
    }
}

NSUIToolButton::NSUIToolButton(QWidget* parent)
    : QAbstractButton(parent), mCell(std::make_unique<NSUIButtonCell>())
{
    setFocusPolicy(Qt::NoFocus);
    initToolAttributes();
}

NSUIToolButton::~NSUIToolButton() = default;

void NSUIToolButton::initToolAttributes()
{
    NSUIButtonCell* buttonCell = mCell.get();
    if (VERIFY_AT("-[NSUIToolButton initToolAttributes]", buttonCell))
        initCellAttributes(buttonCell);
}

void NSUIToolButton::initCellAttributes(NSUIButtonCell* buttonCell)
{
    VERIFY_TEXT("-[NSUIToolButton initCellAttributes:]",
                "[NSUIToolButton setDefaultCellAttributes:buttonCell]",
                setDefaultCellAttributes(buttonCell));
}

bool NSUIToolButton::setDefaultCellAttributes(NSUIButtonCell* buttonCell)
{
    if (!VERIFY_AT("+[NSUIToolButton setDefaultCellAttributes:]", buttonCell))
        return false;
    buttonCell->bezelStyle = 6;
    buttonCell->imagePosition = 1;
    buttonCell->bezeled = false;
    buttonCell->bordered = false;
    buttonCell->title.clear();
    buttonCell->highlightsBy = 0;
    buttonCell->showsStateBy = 0;
    buttonCell->setCellAttribute(NSUIButtonCell::kLightsByBackground, 0);
    buttonCell->setCellAttribute(NSUIButtonCell::kLightsByGray, 0);
    buttonCell->setCellAttribute(NSUIButtonCell::kLightsByContents, 0);
    return true;
}

QImage NSUIToolButton::displayedImage() const
{
    const bool on =
        (isChecked() && mCell->changesContents) || (isDown() && mCell->lightsByContents);
    return on && !mCell->alternateImage.isNull() ? mCell->alternateImage : mCell->image;
}

void NSUIToolButton::setImage(const QImage& image)
{
    mCell->image = image;
    updateGeometry();
    update();
}

void NSUIToolButton::setButtonCellImages(const QString& imageName, int kind)
{
    static const char* const kFunction =
        "-[NSUIToolButton(NSUINfoGraffik) setButtonCellImages:forKind:]";
    NSUIButtonCell* buttonCell = mCell.get();
    if (!VERIFY_AT(kFunction, buttonCell))
        return;
    if (!VERIFY_TEXT(kFunction, "imageName", !imageName.isEmpty()))
        return;
    const QByteArray name = imageName.toUtf8();
    const QColor tint = NSUIControlTintColor();
    const QImage offImage =
        NSUINfoGraffikImage::imageForSizeState(name.constData(), size(), 0, kind, tint);
    buttonCell->image = offImage;
    if (offImage.isNull()) {
        VERIFY_TEXT(kFunction,
                    "[NSUINfoGraffikImage imageForSizeState:imageName forSize:buttonSize "
                    "forState:NSOffState forKind:forKind ]",
                    false);
        VERIFY_TEXT(kFunction, "offImage", false);
    }
    const QImage onImage =
        NSUINfoGraffikImage::imageForSizeState(name.constData(), size(), 1, kind, tint);
    buttonCell->alternateImage = onImage;
    if (onImage.isNull()) {
        VERIFY_TEXT(kFunction,
                    "[NSUINfoGraffikImage imageForSizeState:imageName forSize:buttonSize "
                    "forState:NSOnState forKind:forKind ]",
                    false);
        VERIFY_TEXT(kFunction, "onImage", false);
    }
}

QSize NSUIToolButton::sizeHint() const
{
    return mCell->image.isNull() ? QSize(32, 32) : mCell->image.size();
}

void NSUIToolButton::paintEvent(QPaintEvent*)
{
    const QImage image = displayedImage();
    if (image.isNull())
        return;
    // Images are not always made at the button's size: fit, keep the shape, centre.
    const QSizeF fitted = image.deviceIndependentSize().scaled(QSizeF(size()), Qt::KeepAspectRatio);
    const QPointF origin((width() - fitted.width()) / 2, (height() - fitted.height()) / 2);
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(origin, fitted), image);
}

bool import_NSUIToolButton()
{
    return true;
}
