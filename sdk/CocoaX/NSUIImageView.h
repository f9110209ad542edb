// An image view that shows a named image: a picture among the program's resources, ":/<name>"
// or ":/<name>.png". Its name is its parameter form for tables (ParamMapping).
#pragma once

#include <QLabel>
#include <QVariant>

class NSUIImageView : public QLabel
{
    Q_OBJECT

public:
    explicit NSUIImageView(QWidget* parent = nullptr);
    ~NSUIImageView() override;

    QString imageName() const { return mImageName; }
    // False, with a report, and the image unchanged when there is no image of that name.
    bool setImageNamed(const QString& in_name);

    static QVariant stringParamValue(QObject* in_control);
    static void setStringParamValue(QObject* in_control, const QVariant& in_value);

private:
    QString mImageName;
};

bool import_NSUIImageView();
