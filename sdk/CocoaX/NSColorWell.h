// The colour of a colour well, without the well's button: red, green, blue and alpha as 32-bit
// floats, 0..1, in calibrated RGB. The button (NSUIColorWellButton) shows it and lets the user
// pick; this part holds the colour and its exact component-wise forms, so it works without a
// display.
//
// The members are grouped as the well's categories: its own (the colour and the parameter
// texts, NSColorWell.cpp), AlphaHandling (colour as float components,
// NSColorWellAlphaHandling.cpp) and CoreImage (colour as an engine colour,
// NSColorWellCoreImage.cpp).
#pragma once

#include <QColor>
#include <QObject>
#include <QString>
#include <QVariant>

#include "CIValues.h"

struct NSColor3D
{
    float red, green, blue;
};

struct NSColor4D
{
    float red, green, blue, alpha;
};

class NSColorWell : public QObject
{
    Q_OBJECT

public:
    explicit NSColorWell(QObject* parent = nullptr);
    ~NSColorWell() override;

    // A colour with no RGB form (a pattern, as another toolkit's colour may be); the getters
    // then answer opaque black with a report.
    void setColorWithoutRGB();
    bool hasRGBColor() const { return mHasRGB; }

    // One flag for every well: while set, colours given by parameter text leave the colour
    // (in the 4D form: all but the alpha) as it is.
    static void setColorParamsLocked(bool in_locked);
    static bool colorParamsLocked();

    // "rgb(%1.3f,%1.3f,%1.3f)" of the opaque colour: three decimals per component, so the text
    // gives back the well's colour within 0.0005.
    QString color3DParam() const;
    // Reads "rgb(%f,%f,%f)", with any number of decimals (older texts have one); components that
    // are not found are 0, so text of another form gives black. Components are held to 0..1, NaN
    // counts as 0. Sets the opaque colour unless locked.
    void setColor3DParam(const QString& in_text);
    // "rgba(%1.3f,%1.3f,%1.3f,%1.3f)"; the setter's alpha is 1 unless given. Locked: only the
    // alpha is taken.
    QString color4DParam() const;
    void setColor4DParam(const QString& in_text);
    // True when the text is "rgb(r,g,b)" with three numbers, none of them NaN; the colour is
    // then given, held to 0..1.
    static bool parseColor3DParam(const QString& in_text, NSColor3D* out_color);

    // The parameter forms for a table (ParamMapping): the control is a well.
    static QVariant color3DParam(QObject* in_control);
    static void setColor3DParam(QObject* in_control, const QVariant& in_value);
    static QVariant color4DParam(QObject* in_control);
    static void setColor4DParam(QObject* in_control, const QVariant& in_value);

    // AlphaHandling
    NSColor4D getColor4D() const;
    NSColor3D getColor3DOpaque() const;
    float getColorAlpha() const;
    QColor colorWithAlpha() const;
    QColor colorWithoutAlpha() const;
    void setColor4D(NSColor4D in_color);
    void setColor3D(NSColor3D in_color);
    void setColor3DOpaque(NSColor3D in_color);
    // Red, blue, green, alpha: that order.
    void setColorRedBlueGreenAlpha(float in_red, float in_blue, float in_green, float in_alpha);
    void setColor3DPreserveAlpha(NSColor3D in_color);
    // False, with a report, when the colour has no RGB form to keep.
    bool setColorAlpha(float in_alpha);
    void setColorPreserveAlpha(const QColor& in_color);

    // CoreImage
    CFPtr<CIColor> getCIColorAlpha() const;
    CFPtr<CIColor> getCIColorOpaque() const;
    // A null colour is reported and changes nothing.
    void setCIColor(const CIColor* in_color);
    void setCIColorOpaque(const CIColor* in_color);
    void setCIColorPreserveAlpha(const CIColor* in_color);

signals:
    void colorChanged();

private:
    void store(NSColor4D in_color);

    NSColor4D mColor = {1, 1, 1, 1};
    bool mHasRGB = true;
    static bool sColorParamsLocked;
};

bool import_NSColorWell();
bool import_NSColorWellCoreImage();
