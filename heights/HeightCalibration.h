#pragma once
// The height calibrations: for each magnification, how much the picture grows per micrometre
// of focus travel, measured once on two surfaces of a known height difference (a coverslip
// on a slide, a gauge, paper of a known thickness); and for a camera that drives its focus by
// motor, the focus travel per unit of its control, measured the same way. Kept in a small JSON file beside the
// length calibrations; a damaged file is reported and kept aside, never taken as empty silently.

#include "processing/HeightMap.h"

#include <QJsonObject>
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
    std::optional<double> FindFocusUnit(int magnification) const;
    // Records a calibration and writes the file whole; false with the reason.
    bool Set(int magnification, double growthPerMicrometre, QString* error);
    bool SetFocusUnit(int magnification, double micrometresPerFocusUnit, QString* error);
    // Records what a map's distances came from (the growth, or a motorised focus's units).
    bool SetFor(const HeightMap& map, int magnification, double calibrated, QString* error);
    // Why the file could not be read (empty: it was, or there was none).
    QString LoadError() const { return loadError_; }
    // A damaged file kept aside under another name, with what it said; empty when it was sound.
    static QString Recover(const QString& path);

    // From a height map made with `used` and two points on it that stand `knownMicrometres`
    // apart in height: the growth per micrometre, or for a map from a motorised focus's
    // positions the micrometres per unit of its control; none when they do not differ.
    static std::optional<double> Calibrate(const HeightMap& map, const HeightScale& used, QPointF low, QPointF high,
                                           double knownMicrometres);
    // The factor a map's heights take when its calibration goes from `used` to `calibrated`.
    static double Rescaling(const HeightMap& map, double used, double calibrated);

private:
    QString path_;
    bool Write(QString* error) const;
    // Each magnification's value within [smallest, largest] (either sign); others are damaged.
    void ReadEntries(const QJsonObject& entries, double smallest, double largest, std::map<int, double>& into);

    std::map<int, double> growth_;
    std::map<int, double> focusUnit_;
    QString loadError_;
};
