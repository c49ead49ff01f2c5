#pragma once
// The height calibrations: for each magnification, how much the picture grows per micrometre
// of focus travel, measured once on two surfaces of a known height difference (a coverslip
// on a slide, a gauge, paper of a known thickness). Kept in a small JSON file beside the
// length calibrations; a damaged file is reported and kept aside, never taken as empty silently.

#include "processing/HeightMap.h"

#include <QString>

#include <map>
#include <optional>

class HeightCalibrationStore {
public:
    static QString DefaultPath(); // heights.json in the program's configuration folder
    explicit HeightCalibrationStore(QString path);

    // The scale for a magnification: its calibration, else the nominal growth.
    HeightScale ScaleFor(int magnification) const;
    std::optional<double> Find(int magnification) const;
    // Records a calibration and writes the file whole; false with the reason.
    bool Set(int magnification, double growthPerMicrometre, QString* error);
    // Why the file could not be read (empty: it was, or there was none).
    QString LoadError() const { return loadError_; }
    // A damaged file kept aside under another name, with what it said; empty when it was sound.
    static QString Recover(const QString& path);

    // The growth per micrometre from a height map made with `used` and two points on it that
    // stand `knownMicrometres` apart in height; none when they do not differ.
    static std::optional<double> Calibrate(const HeightMap& map, const HeightScale& used, QPointF low, QPointF high,
                                           double knownMicrometres);

private:
    QString path_;
    std::map<int, double> growth_;
    QString loadError_;
};
