#include "P3DRecordDialog.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

P3DRecordDialog::P3DRecordDialog(QWidget* parent)
    : QDialog(parent), mLayouts(new QButtonGroup(this))
{
    setWindowTitle(tr("Recording Options"));
    auto* column = new QVBoxLayout(this);
    column->addWidget(new QLabel(tr("What recordings and streams hold:")));
    const std::pair<RecordLayout, const char*> choices[] = {
        {RecordLayout::Monitor, "Monitor picture as shown (anaglyph, depth map…)"},
        {RecordLayout::SideBySide, "Both eyes side by side (for headsets and 3-D players)"},
        {RecordLayout::TwoStreams, "Both eyes as two video streams (Matroska)"},
    };
    for (const auto& [layout, text] : choices) {
        auto* button = new QRadioButton(tr(text));
        mLayouts->addButton(button, int(layout));
        column->addWidget(button);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    column->addWidget(buttons);
    setRecordLayout(RecordLayout::SideBySide);
}

void P3DRecordDialog::setRecordLayout(RecordLayout layout)
{
    if (QAbstractButton* button = mLayouts->button(int(layout)))
        button->setChecked(true);
}

RecordLayout P3DRecordDialog::recordLayout() const
{
    return RecordLayout(mLayouts->checkedId());
}
