#include "NSUIColorWellButton.h"

#include <QColorDialog>
#include <QPainter>

NSUIColorWellButton::NSUIColorWellButton(QWidget* parent)
    : QPushButton(parent), mWell(std::make_unique<NSColorWell>())
{
    setMinimumSize(44, 24);
    connect(this, &QPushButton::clicked, this, &NSUIColorWellButton::activate);
    connect(mWell.get(), &NSColorWell::colorChanged, this, qOverload<>(&QWidget::update));
}

NSUIColorWellButton::~NSUIColorWellButton() = default;

QColorDialog& NSUIColorWellButton::dialog()
{
    if (!mDialog) {
        mDialog = std::make_unique<QColorDialog>(window());
        mDialog->setWindowFlag(Qt::Tool);
        connect(mDialog.get(), &QColorDialog::currentColorChanged, this,
                &NSUIColorWellButton::takeColor);
    }
    return *mDialog;
}

void NSUIColorWellButton::activate()
{
    QColorDialog& panel = dialog();
    panel.blockSignals(true);
    panel.setCurrentColor(mWell->colorWithAlpha());
    panel.blockSignals(false);
    panel.show();
    panel.raise();
}

void NSUIColorWellButton::takeColor(const QColor& in_color)
{
    mWell->setColor4D({float(in_color.redF()), float(in_color.greenF()), float(in_color.blueF()),
                       float(in_color.alphaF())});
}

void NSUIColorWellButton::paintEvent(QPaintEvent* event)
{
    QPushButton::paintEvent(event);
    QPainter painter(this);
    const QRect swatch = rect().adjusted(7, 6, -7, -6);
    painter.fillRect(swatch, mWell->colorWithAlpha());
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(swatch.adjusted(0, 0, -1, -1));
}

bool import_NSUIColorWellButton()
{
    return import_NSColorWell();
}
