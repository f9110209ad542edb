// Draws its window's picture unscaled at its origin over a cleared background, so the window
// is transparent wherever the picture is. The picture is the application's image named by the
// window's title, or one set by name.
#pragma once

#include <QImage>
#include <QWidget>

class PDFSkinView : public QWidget
{
public:
    explicit PDFSkinView(QWidget* parent = nullptr);

    // Takes the application's picture of that name; false (and no picture) when there is none.
    bool setResourceImage(const QString& name);
    bool setResourceImageFromWindowTitle();
    // Takes the window title's picture and redraws.
    void awakeFromNib();
    const QImage& skinImage() const { return mPDFSkinImage; }

    // What the view draws at that size: the picture over transparency.
    static QImage SkinImage(const QImage& picture, QSize size);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage mPDFSkinImage;
};

// The About box's view; a click anywhere in it reaches the window at once.
class PDFSkinAboutBoxView final : public PDFSkinView
{
public:
    using PDFSkinView::PDFSkinView;
};

bool import_PDFSkinView();
