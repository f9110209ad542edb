// The context's drawing of vector pictures. SVG takes the role of PDF here: Qt draws no PDF
// pages in its base modules, and the application's pictures are its own.
#include <QSvgRenderer>

#include "CoreGraphicsContext.h"
#include "CoreGraphicsPaintContext.h"
#include "CoreMachDebugLog.h"

namespace CoreGraphics {

bool Context::DrawPDF(PaintContext& context, const char* path, CGRect rect, CGSize scale)
{
    const char* imageURL = path && *path ? path : nullptr;
    if (!VERIFY(imageURL))
        return false;
    QSvgRenderer pdfDocument(QString::fromUtf8(imageURL));
    if (!VERIFY_TEXT("DrawPDF", "pdfDocument", pdfDocument.isValid()))
        return false;
    const bool pageOne = !pdfDocument.viewBoxF().isEmpty();
    if (!VERIFY(pageOne))
        return false;
    pdfDocument.setAspectRatioMode(Qt::KeepAspectRatio);
    QPainter& painter = context.painter();
    context.SaveGState();
    context.ScaleCTM(scale.width, scale.height);
    // The picture's top row goes to the top of rect: undo the context's flip around it.
    painter.translate(rect.origin.x, rect.origin.y + rect.size.height);
    painter.scale(1, -1);
    pdfDocument.render(&painter, QRectF(0, 0, rect.size.width, rect.size.height));
    context.RestoreGState();
    return true;
}

} // namespace CoreGraphics
