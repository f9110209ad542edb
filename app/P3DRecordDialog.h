// File > Recording Options…: what File > Record… and File > Stream… write. Holds no logic: the
// document reads the choice when the dialog is accepted.
#pragma once

#include <QDialog>

#include "RecordSettings.h"

class QButtonGroup;

class P3DRecordDialog : public QDialog
{
    Q_OBJECT

public:
    explicit P3DRecordDialog(QWidget* parent = nullptr);

    void setRecordLayout(RecordLayout layout);
    RecordLayout recordLayout() const;

private:
    QButtonGroup* mLayouts; // button id = RecordLayout
};
