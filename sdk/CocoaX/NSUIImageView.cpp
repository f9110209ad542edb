#include "NSUIImageView.h"

#include <QPixmap>

#include "CoreMachDebugLog.h"

NSUIImageView::NSUIImageView(QWidget* parent) : QLabel(parent)
{
    setAlignment(Qt::AlignCenter);
}

NSUIImageView::~NSUIImageView() = default;

bool NSUIImageView::setImageNamed(const QString& in_name)
{
    QPixmap image;
    if (!in_name.isEmpty() && !image.load(":/" + in_name))
        image.load(":/" + in_name + ".png");
    if (!VERIFY_TEXT("-[NSImageView setStringParamValue:]", "imageNamed", !image.isNull()))
        return false;
    mImageName = in_name;
    setPixmap(image);
    return true;
}

QVariant NSUIImageView::stringParamValue(QObject* in_control)
{
    const auto* view = qobject_cast<NSUIImageView*>(in_control);
    if (!VERIFY_TEXT("-[NSImageView stringParamValue]", "inControl", view))
        return QVariant();
    return view->imageName();
}

void NSUIImageView::setStringParamValue(QObject* in_control, const QVariant& in_value)
{
    auto* view = qobject_cast<NSUIImageView*>(in_control);
    if (VERIFY_TEXT("-[NSImageView setStringParamValue:]", "inControl", view))
        view->setImageNamed(in_value.toString());
}

bool import_NSUIImageView()
{
    return import_CoreMachDebugLog();
}
