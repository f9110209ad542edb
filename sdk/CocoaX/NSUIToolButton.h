// Borderless image-only buttons. A button draws from its cell: the image, or the alternate
// image while it is on (when its contents change with the state) or pressed (when it lights by
// its contents). Nothing else is drawn: no bezel, no border, no title.
#pragma once

#include <QAbstractButton>
#include <QImage>
#include <QString>
#include <memory>

// The drawing attributes of a button, as the interface file gives them.
struct NSUIButtonCell
{
    enum Attribute {
        kLightsByContents = 6,
        kLightsByGray = 7,
        kLightsByBackground = 9,
        kChangesContents = 14
    };
    int bezelStyle = 1;    // 1 rounded, 6 shadowless square
    int imagePosition = 0; // 0 no image, 1 image only
    bool bezeled = true;
    bool bordered = true;
    QString title;
    int highlightsBy = 0;
    int showsStateBy = 0;
    bool lightsByContents = false;
    bool lightsByGray = true;
    bool lightsByBackground = true;
    bool changesContents = false;
    int buttonType = 0; // 0 momentary, 1 push on / push off
    QImage image;
    QImage alternateImage;

    void setCellAttribute(int attribute, int value);
};

class NSUIToolButton : public QAbstractButton
{
public:
    explicit NSUIToolButton(QWidget* parent = nullptr);
    ~NSUIToolButton() override;

    // Sets the tool look on a cell: shadowless square, image only, no bezel, border, title or
    // highlight masks; false with a report for no cell.
    static bool setDefaultCellAttributes(NSUIButtonCell* buttonCell);

    NSUIButtonCell* cell() { return mCell.get(); }
    const NSUIButtonCell* cell() const { return mCell.get(); }
    bool hasOnlyOneImage() const { return mCell->alternateImage.isNull(); }
    // The image the button shows now, scaled to fit and centred.
    QImage displayedImage() const;
    virtual void setImage(const QImage& image);

    // Makes the off and on images of the picture name at the button's size, as cell image and
    // alternate image; the caller redraws.
    void setButtonCellImages(const QString& imageName, int kind);
    void initInfoGraffik(int kind) { setButtonCellImages(text(), kind); }

    QSize sizeHint() const override;

protected:
    // The tool attributes on this button's cell; subclasses add theirs in their constructors.
    void initToolAttributes();
    void initCellAttributes(NSUIButtonCell* buttonCell);
    void paintEvent(QPaintEvent* event) override;

private:
    std::unique_ptr<NSUIButtonCell> mCell;
};

bool import_NSUIToolButton();
