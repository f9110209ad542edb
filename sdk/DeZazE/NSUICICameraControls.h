// The camera image controls: a window of sliders and switches that shape each eye's picture
// (exposure, brightness, contrast, saturation, two mirrors, white balance) and remember their
// settings in the preferences. The work is the filter chain's; the panel copies its controls
// into the chain and runs images through it.
#pragma once

#include <QWidget>

#include "CICameraFilterChain.h"

class QCheckBox;
class NSUIFloatSlider;
class NSColorWellWithoutAlpha;

class NSUICICameraControls : public QWidget
{
    Q_OBJECT

public:
    // A window of its own unless given a parent.
    explicit NSUICICameraControls(QWidget* parent = nullptr);
    ~NSUICICameraControls() override;

    // Filter plug-ins installed on the machine become filters (once per process).
    static void loadCoreImagePlugIns();
    static CFPtr<CIColor> defaultWhiteBalanceCIColor();

    // The action of every control.
    void controlsChanged(QObject* sender);
    void updateFilterStackState(QObject* sender);
    void resetDefaults(QObject* sender);
    void preferencesSaveDefaults(QObject* sender);
    void preferencesLoadDefaults(QObject* sender);

    CFPtr<CIImage> filteredImage(const CIImage* image);
    // Controls of the program's own below the panel's, above its buttons; the panel owns them.
    void addSection(QWidget* section);
    // The chain the controls shape: the panel's own until it is given one to shape instead (the
    // stereo monitor's, borrowed; null gives back its own). The controls are applied at once.
    void setChain(CICameraFilterChain* chain);
    CICameraFilterChain& chain() { return *mChain; }

    NSUIFloatSlider* brightnessSlider() const { return _brightnessSlider; }
    NSUIFloatSlider* contrastSlider() const { return _contrastSlider; }
    NSUIFloatSlider* saturationSlider() const { return _saturationSlider; }
    NSUIFloatSlider* exposureSlider() const { return _exposureSlider; }
    QCheckBox* mirrorImageX() const { return _mirrorImageX; }
    QCheckBox* mirrorImageY() const { return _mirrorImageY; }
    NSColorWellWithoutAlpha* whiteBalanceColor() const { return _whiteBalanceColor; }
    QCheckBox* whiteBalanceEnable() const { return _whiteBalanceEnable; }

private:
    // Children of the panel, borrowed here.
    NSUIFloatSlider* _brightnessSlider;
    NSUIFloatSlider* _contrastSlider;
    NSUIFloatSlider* _saturationSlider;
    NSUIFloatSlider* _exposureSlider;
    QCheckBox* _mirrorImageX;
    QCheckBox* _mirrorImageY;
    NSColorWellWithoutAlpha* _whiteBalanceColor;
    QCheckBox* _whiteBalanceEnable;
    CICameraFilterChain mOwnChain;
    CICameraFilterChain* mChain = &mOwnChain;
};

bool import_NSUICICameraControls();
