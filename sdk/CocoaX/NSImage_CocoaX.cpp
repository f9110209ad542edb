#include "NSImage_CocoaX.h"

#include <QFile>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>
#include <cstring>

// The resources live in a static library: nothing would pull them into the program otherwise.
static void InitPictures()
{
    static const bool sLoaded = [] {
        Q_INIT_RESOURCE(pictures);
        return true;
    }();
    (void)sLoaded;
}

namespace {

// Images carry their name the way files carry text chunks, so it survives copies.
const char* const kNameKey = "NSImageName";

// A video camera seen from the side, light grey on transparent, 128 x 96: a body with a dark
// lens, a viewfinder cone to the right and a lamp on top. Nothing opaque reaches the edges.
QImage DrawCameraIcon()
{
    QImage icon(128, 96, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    icon.setText(kNameKey, "iSightCamera.png");
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QColor light(230, 230, 230);
    painter.setBrush(light);
    painter.drawRoundedRect(QRectF(10, 24, 90, 52), 8, 8);
    painter.drawRect(QRectF(54, 10, 20, 14));
    painter.drawPolygon(QPolygonF({QPointF(98, 50), QPointF(122, 30), QPointF(122, 70)}));
    painter.setBrush(QColor(64, 64, 64));
    painter.drawEllipse(QPointF(62, 50), 16, 16);
    return icon;
}

} // namespace

QImage NSImageNamed(const char* name)
{
    if (name && strcmp(name, "iSightCamera.png") == 0) {
        static const QImage sCameraIcon = DrawCameraIcon();
        return sCameraIcon;
    }
    const QString path = NSImageResourcePath(name, "svg");
    if (path.isEmpty())
        return QImage();
    QSvgRenderer renderer(path);
    const QSize size = renderer.defaultSize();
    if (!renderer.isValid() || size.isEmpty())
        return QImage();
    QImage picture(size, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    picture.setText(kNameKey, QString::fromUtf8(name));
    QPainter painter(&picture);
    renderer.render(&painter);
    return picture;
}

QString NSImageName(const QImage& image)
{
    return image.text(kNameKey);
}

QString NSImageResourcePath(const char* name, const char* type)
{
    if (!name || !*name || !type || !*type)
        return QString();
    InitPictures();
    QString file = QString::fromUtf8(name);
    const QString suffix = "." + QString::fromUtf8(type);
    if (!file.endsWith(suffix, Qt::CaseInsensitive))
        file += suffix;
    // Names are plain file names: no way out of the pictures folder.
    if (file.contains('/'))
        return QString();
    const QString path = ":/pictures/" + file;
    return QFile::exists(path) ? path : QString();
}

bool import_NSImage_CocoaX()
{
    return true;
}
