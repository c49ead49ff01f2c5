#pragma once
// Calibrations against a stage micrometer: for a magnification, the millimetres one pixel of
// a 1280-pixel-wide picture spans, measured on a ruler of known length. Pictures of other
// widths scale by their width. Kept in a small JSON file of the per-user configuration
// folder, with the unit labels are shown in; a lab shares them by exporting and importing
// that file. Without a calibration for a magnification the nominal pixel factor applies.

#include <QString>

#include <optional>
#include <vector>

enum class LengthUnit { Millimetre, Micrometre };

struct StageCalibration {
    int magnification = 0;
    double millimetresPerPixel = 0; // of a 1280-pixel-wide picture
    QString name;
};

class CalibrationStore {
public:
    static QString DefaultPath();

    // Reads `path`. A damaged file says so in LoadError() and leaves the store with the
    // entries that could be read (none when it is not JSON); a missing one is simply empty.
    explicit CalibrationStore(QString path);
    // Once at start: a damaged file is kept aside (NAME.damaged) and what could be read of it
    // saved again. What was done, for the user; empty when the file was whole or missing.
    static QString Recover(const QString& path);

    const QString& LoadError() const { return loadError_; }
    const std::vector<StageCalibration>& All() const { return calibrations_; }
    std::optional<StageCalibration> Find(int magnification) const;
    LengthUnit Unit() const { return unit_; }

    // Each change is saved at once; false with the reason when the file could not be written.
    bool Set(const StageCalibration& calibration, QString* error = nullptr);
    bool Rename(int magnification, const QString& name, QString* error = nullptr);
    bool Remove(int magnification, QString* error = nullptr);
    bool SetUnit(LengthUnit unit, QString* error = nullptr);

    bool Export(const QString& path, QString* error = nullptr) const;
    // Adds (or replaces, by magnification) the calibrations of an exported file.
    bool Import(const QString& path, QString* error = nullptr);

    // Millimetres per pixel of a picture `pictureWidth` wide, from a calibration.
    static double MillimetresPerPicturePixel(const StageCalibration& calibration, int pictureWidth);

private:
    bool Save(QString* error);
    QByteArray ToJson() const;
    // `skipDamaged`: an entry that is not sensible is left out (with the reason in `error`)
    // rather than failing the whole file.
    static bool FromJson(const QByteArray& bytes, std::vector<StageCalibration>& calibrations, LengthUnit& unit,
                         QString& error, bool skipDamaged = false);

    QString path_;
    std::vector<StageCalibration> calibrations_;
    LengthUnit unit_ = LengthUnit::Millimetre;
    QString loadError_;
};
