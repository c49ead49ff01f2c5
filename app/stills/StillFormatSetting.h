#pragma once
// The format new stills are written in: BMP (the default), TIFF or PNG, and what goes with
// them. Kept in a small JSON
// file of the per-user configuration folder; a missing or damaged file means BMP.

#include "media/PictureWriter.h"

#include <QString>

class StillFormatSetting {
public:
    explicit StillFormatSetting(QString path);

    PictureFormat Format() const { return format_; }
    // Whether TIFF and PNG stills carry the nominal factor's scale when the magnification
    // has no calibration (off unless the user chose it).
    bool NominalScale() const { return nominalScale_; }
    bool SetNominalScale(bool on, QString* error = nullptr);
    // Whether All in focus also saves its depth map beside the picture ("..._N0005_depth").
    bool DepthMap() const { return depthMap_; }
    bool SetDepthMap(bool on, QString* error = nullptr);
    // Whether what is measured on the live picture is also drawn into the stills' pixels
    // (a TIFF keeps it as shapes all the same; a BMP or PNG keeps it only so).
    bool DrawMeasurements() const { return drawMeasurements_; }
    bool SetDrawMeasurements(bool on, QString* error = nullptr);
    // Saved at once; false with the reason when the file could not be written (the format
    // holds for this session all the same).
    bool SetFormat(PictureFormat format, QString* error = nullptr);

private:
    QString path_;
    bool Save(QString* error) const;

    PictureFormat format_ = PictureFormat::Bmp;
    bool nominalScale_ = false;
    bool depthMap_ = false;
    bool drawMeasurements_ = false;
};
