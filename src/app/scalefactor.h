#pragma once
// Display scaling: large monitors scale the window up by the smaller of the two ratios to 1920x1080.

#include <QSize>

struct ScaleFactor {
    double horizontal = 1.0;
    double vertical = 1.0;
    double factor = 1.0;

    static ScaleFactor compute(const QSize& monitor);
};

// Applies the factor to the application (high-DPI attributes or QT_SCALE_FACTOR); logs as it goes.
void applyScaleFactor(double factor);

// What Qt reads only before the application object exists, decided then: the monitor size
// through the platform layer (no QGuiApplication needed), the factor (logged "scaleFactor:")
// and applyScaleFactor. Call it before constructing the application object.
ScaleFactor decideStartupScaling();
