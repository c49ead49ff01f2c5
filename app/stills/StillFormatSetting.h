#pragma once
// The format new stills are written in: BMP (the default), TIFF or PNG. Kept in a small JSON
// file of the per-user configuration folder; a missing or damaged file means BMP.

#include "media/PictureWriter.h"

#include <QString>

class StillFormatSetting {
public:
    explicit StillFormatSetting(QString path);

    PictureFormat Format() const { return format_; }
    // Saved at once; false with the reason when the file could not be written (the format
    // holds for this session all the same).
    bool SetFormat(PictureFormat format, QString* error = nullptr);

private:
    QString path_;
    PictureFormat format_ = PictureFormat::Bmp;
};
