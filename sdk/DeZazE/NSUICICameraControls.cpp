#include "NSUICICameraControls.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <cmath>

#include "CICameraControlRanges.h"
#include "CIImageCoreGraphics.h"
#include "CIPlugIn.h"
#include "CoreMachDebugLog.h"
#include "NSColorWellWithAlpha.h"
#include "NSColorWellWithoutAlpha.h"
#include "NSUIFloatSlider.h"
#include "NSUserDefault.h"
#include "ParamMapping.h"

namespace {

// A switch's state from a stored number: held to off (0) and on (1), fractions cut.
bool SwitchState(const NSNumber& in_number)
{
    return std::fmin(std::fmax(std::trunc(in_number.doubleValue()), 0.0), 1.0) == 1.0;
}

NSUIFloatSlider* Slider(const NSUIFloatRange& in_range, const char* in_name)
{
    auto* slider = new NSUIFloatSlider(in_range);
    slider->setObjectName(in_name);
    slider->setMinimumWidth(220);
    return slider;
}

QCheckBox* Switch(const QString& in_title, const char* in_name)
{
    auto* button = new QCheckBox(in_title);
    button->setObjectName(in_name);
    return button;
}

// The slider and its value beside it, in two decimals.
QLayout* SliderRow(NSUIFloatSlider* in_slider)
{
    auto* row = new QHBoxLayout;
    auto* value = new QLabel;
    value->setMinimumWidth(value->fontMetrics().horizontalAdvance("-0.00 "));
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    const auto show = [value](double number) { value->setText(QString::number(number, 'f', 2)); };
    show(in_slider->floatValue());
    QObject::connect(in_slider, &NSUIFloatSlider::floatValueChanged, value, show);
    row->addWidget(in_slider, 1);
    row->addWidget(value);
    return row;
}

} // namespace

NSUICICameraControls::NSUICICameraControls(QWidget* parent)
    : QWidget(parent, parent ? Qt::Widget : Qt::Window),
      _brightnessSlider(Slider(CICameraControlRanges::kBrightness, "_brightnessSlider")),
      _contrastSlider(Slider(CICameraControlRanges::kContrast, "_contrastSlider")),
      _saturationSlider(Slider(CICameraControlRanges::kSaturation, "_saturationSlider")),
      _exposureSlider(Slider(CICameraControlRanges::kExposure, "_exposureSlider")),
      _mirrorImageX(Switch(tr("Mirror left to right"), "_mirrorImageX")),
      _mirrorImageY(Switch(tr("Mirror top to bottom"), "_mirrorImageY")),
      _whiteBalanceColor(new NSColorWellWithoutAlpha),
      _whiteBalanceEnable(Switch(tr("White balance"), "_whiteBalanceEnable"))
{
    loadCoreImagePlugIns();
    setWindowTitle(tr("Image Controls"));
    _whiteBalanceColor->setObjectName("_whiteBalanceColor");
    _whiteBalanceColor->setToolTip(tr("The colour that should look white"));
    _whiteBalanceColor->well().setCIColor(defaultWhiteBalanceCIColor().get());

    auto* form = new QFormLayout(this);
    form->addRow(tr("Exposure"), SliderRow(_exposureSlider));
    form->addRow(tr("Brightness"), SliderRow(_brightnessSlider));
    form->addRow(tr("Contrast"), SliderRow(_contrastSlider));
    form->addRow(tr("Saturation"), SliderRow(_saturationSlider));
    form->addRow(QString(), _mirrorImageX);
    form->addRow(QString(), _mirrorImageY);
    auto* whiteBalance = new QHBoxLayout;
    whiteBalance->addWidget(_whiteBalanceEnable);
    whiteBalance->addWidget(_whiteBalanceColor);
    whiteBalance->addStretch(1);
    form->addRow(QString(), whiteBalance);
    auto* reset = new QPushButton(tr("Reset"));
    reset->setObjectName("resetButton");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(reset);
    form->addRow(buttons);

    for (NSUIFloatSlider* slider :
         {_exposureSlider, _brightnessSlider, _contrastSlider, _saturationSlider})
        connect(slider, &NSUIFloatSlider::floatValueEdited, this,
                [this, slider] { controlsChanged(slider); });
    for (QCheckBox* button : {_mirrorImageX, _mirrorImageY, _whiteBalanceEnable})
        connect(button, &QCheckBox::clicked, this, [this, button] { controlsChanged(button); });
    connect(&_whiteBalanceColor->well(), &NSColorWell::colorChanged, this,
            [this] { controlsChanged(_whiteBalanceColor); });
    connect(reset, &QPushButton::clicked, this, [this, reset] { resetDefaults(reset); });
}

NSUICICameraControls::~NSUICICameraControls() = default;

void NSUICICameraControls::addSection(QWidget* section)
{
    auto* form = static_cast<QFormLayout*>(layout());
    form->insertRow(form->rowCount() - 1, section);
}

void NSUICICameraControls::loadCoreImagePlugIns()
{
    CIPlugIn::loadAllPlugIns();
}

CFPtr<CIColor> NSUICICameraControls::defaultWhiteBalanceCIColor()
{
    return CIColor::colorWithRed(1, 1, 1, 1);
}

void NSUICICameraControls::controlsChanged(QObject* sender)
{
    updateFilterStackState(sender);
}

void NSUICICameraControls::updateFilterStackState(QObject*)
{
    mChain->setWhitePoint(_whiteBalanceEnable->isChecked()
                              ? _whiteBalanceColor->well().getCIColorOpaque().get()
                              : defaultWhiteBalanceCIColor().get());
    mChain->setExposure(float(_exposureSlider->floatValue()));
    mChain->setColorControls(float(_saturationSlider->floatValue()),
                             float(_brightnessSlider->floatValue()),
                             float(_contrastSlider->floatValue()));
    mChain->setMirror(_mirrorImageX->isChecked(), _mirrorImageY->isChecked());
}

void NSUICICameraControls::resetDefaults(QObject* sender)
{
    _whiteBalanceColor->well().setCIColor(defaultWhiteBalanceCIColor().get());
    _whiteBalanceEnable->setChecked(false);
    _mirrorImageX->setChecked(false);
    _mirrorImageY->setChecked(false);
    _exposureSlider->setFloatValue(0);
    _brightnessSlider->setFloatValue(0);
    _contrastSlider->setFloatValue(1);
    _saturationSlider->setFloatValue(1);
    updateFilterStackState(sender);
}

void NSUICICameraControls::preferencesSaveDefaults(QObject*)
{
    const struct
    {
        const NSUIFloatSlider* slider;
        const char* key;
    } sliders[] = {{_exposureSlider, "_exposureSlider"},
                   {_brightnessSlider, "_brightnessSlider"},
                   {_contrastSlider, "_contrastSlider"},
                   {_saturationSlider, "_saturationSlider"}};
    for (const auto& entry : sliders) {
        const NSString text = entry.slider ? entry.slider->stringValue() : NSString();
        NSUserDefaultSaveObject(entry.slider ? &text : nullptr, entry.key);
    }
    NSUserDefaultSave(_mirrorImageX->isChecked() ? 1 : 0, "_mirrorImageX");
    NSUserDefaultSave(_mirrorImageY->isChecked() ? 1 : 0, "_mirrorImageY");
    NSUserDefaultSave(_whiteBalanceEnable->isChecked() ? 1 : 0, "_whiteBalanceEnable");
    const NSString color = _whiteBalanceColor->well().color3DParam();
    NSUserDefaultSaveObject(&color, "_whiteBalanceColor");
}

void NSUICICameraControls::preferencesLoadDefaults(QObject* sender)
{
    _exposureSlider->setStringValue(NSUserDefaultLoadKind<NSString>("_exposureSlider", "0.0"));
    _brightnessSlider->setStringValue(NSUserDefaultLoadKind<NSString>("_brightnessSlider", "0.0"));
    _contrastSlider->setStringValue(NSUserDefaultLoadKind<NSString>("_contrastSlider", "1.0"));
    _saturationSlider->setStringValue(NSUserDefaultLoadKind<NSString>("_saturationSlider", "1.0"));
    _mirrorImageX->setChecked(SwitchState(NSUserDefaultLoadKind("_mirrorImageX", NSNumber(0))));
    _mirrorImageY->setChecked(SwitchState(NSUserDefaultLoadKind("_mirrorImageY", NSNumber(0))));
    _whiteBalanceEnable->setChecked(
        SwitchState(NSUserDefaultLoadKind("_whiteBalanceEnable", NSNumber(0))));

    // Absent: the colour stays. A text that is not a whole "rgb(r,g,b)" gives the default white
    // rather than the black a partial read would.
    const NSString color = NSUserDefaultLoadKind<NSString>("_whiteBalanceColor", NSString());
    if (!color.isNull()) {
        if (VERIFY_TEXT("-[NSUICICameraControls preferencesLoadDefaults:]", "_whiteBalanceColor",
                        NSColorWell::parseColor3DParam(color, nullptr)))
            _whiteBalanceColor->well().setColor3DParam(color);
        else
            _whiteBalanceColor->well().setCIColorOpaque(defaultWhiteBalanceCIColor().get());
    }
    updateFilterStackState(sender);
}

void NSUICICameraControls::setChain(CICameraFilterChain* chain)
{
    mChain = chain ? chain : &mOwnChain;
    updateFilterStackState(nullptr);
}

CFPtr<CIImage> NSUICICameraControls::filteredImage(const CIImage* image)
{
    return mChain->filteredImage(image);
}

bool import_NSUICICameraControls()
{
    VERIFY(import_NSColorWellWithAlpha());
    VERIFY(import_NSUIParamMapping());
    VERIFY(import_NSColorWellCoreImage());
    VERIFY(import_CIImageCoreGraphics());
    VERIFY(import_CICameraFilterChain());
    return true;
}
