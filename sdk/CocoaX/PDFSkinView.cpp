#include "PDFSkinView.h"

#include <QPainter>

#include "CoreGraphicsPaintContext.h"
#include "NSImage_CocoaX.h"

namespace {

void DrawSkin(QPainter& painter, const QImage& picture, QSize size)
{
    CoreGraphics::PaintContext context(painter, size.height());
    context.ClearRect(CGRectMake(0, 0, size.width(), size.height()));
    if (picture.isNull())
        return;
    // The picture's top left goes to the view's top left: y up puts its origin at the bottom.
    context.DrawImageAtPoint(CGPointMake(0, size.height() - picture.height()), picture);
}

} // namespace

PDFSkinView::PDFSkinView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

bool PDFSkinView::setResourceImage(const QString& name)
{
    mPDFSkinImage = NSImageNamed(name.toUtf8().constData());
    return !mPDFSkinImage.isNull();
}

bool PDFSkinView::setResourceImageFromWindowTitle()
{
    const QWidget* owner = window();
    if (!owner || owner == this || owner->windowTitle().isEmpty())
        return false;
    return setResourceImage(owner->windowTitle());
}

void PDFSkinView::awakeFromNib()
{
    if (setResourceImageFromWindowTitle())
        update();
}

QImage PDFSkinView::SkinImage(const QImage& picture, QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    DrawSkin(painter, picture, size);
    return image;
}

void PDFSkinView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    DrawSkin(painter, mPDFSkinImage, size());
}

bool import_PDFSkinView()
{
    return true;
}
