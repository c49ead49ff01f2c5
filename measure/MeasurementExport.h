#pragma once
// The measurements of a picture as a CSV file for a spreadsheet: UTF-8 (with the byte-order
// mark Excel looks for), a header row, a decimal point, one row per measuring shape with its
// values as the labels show them, its points in picture pixels, the scale used and the
// picture's file name; a count's marks are one row, with their density when there is a scale.

#include "measure/MeasureGeometry.h"
#include "measure/MeasureShape.h"

#include <QSize>
#include <QString>

struct MeasurementScale {
    ViewMapping mapping;            // view to picture
    QString pictureFile;            // the picture's file name
    QString calibration;            // e.g. "0.000500 mm/px at 200X", or the nominal factor
    QString source;                 // "stage calibration" or "nominal"
    double millimetresPerPixel = 0; // of the picture; 0: none (a count has no density then)
    QSize pictureSize;
};

// The CSV text for the measured shapes (drawn-only shapes and texts are left out).
QByteArray MeasurementsCsv(const ShapeStore& shapes, const MeasurementScale& scale);

// Writes it whole; false with the system's reason in `error`.
bool ExportMeasurements(const QString& path, const ShapeStore& shapes, const MeasurementScale& scale, QString* error);
