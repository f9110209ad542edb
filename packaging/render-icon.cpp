// Renders the SVG application icon at the PNG sizes of the hicolor theme, at build time, so
// the SVG stays the one source of the icon.
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 4) {
        fputs("usage: parallax3d-render-icon ICON.svg SIZE OUT.png\n", stderr);
        return 2;
    }
    char* end = nullptr;
    const long size = strtol(argv[2], &end, 10);
    if (*end != '\0' || size < 1 || size > 4096) {
        fprintf(stderr, "parallax3d-render-icon: size must be 1 to 4096, not \"%s\"\n", argv[2]);
        return 2;
    }
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid()) {
        fprintf(stderr, "parallax3d-render-icon: %s is not a readable SVG\n", argv[1]);
        return 1;
    }
    const int side = static_cast<int>(size);
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    svg.render(&painter);
    painter.end();
    if (!image.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        fprintf(stderr, "parallax3d-render-icon: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
