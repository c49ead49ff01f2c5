#pragma once
// The Heights window: the 3D view of the stack's heights, and beside it the picture from
// above where two clicks measure: the height difference between the two points and the
// profile along the line between them, each with its uncertainty. From there the heights are
// calibrated (two surfaces of a known height difference) and saved (TIFF, PLY, STL).

#include "heights/HeightCalibration.h"
#include "processing/HeightMap.h"

#include <QDialog>
#include <QImage>
#include <QPointF>

#include <functional>
#include <optional>

class CHeightView;
class QLabel;
class QPushButton;

// The picture from above, taking two clicks (picture pixels) and showing the line between them.
class CHeightPicker : public QWidget {
    Q_OBJECT
public:
    explicit CHeightPicker(QWidget* parent = nullptr);
    void SetPicture(const QImage& picture);
    // Where a point of the picture is shown, and back.
    QPointF ToWidget(QPointF picture) const;
    QPointF ToPicture(QPointF widget) const;
    void SetPoints(std::optional<QPointF> a, std::optional<QPointF> b);

signals:
    void Clicked(QPointF picturePoint);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QRectF Shown() const;
    QImage picture_;
    std::optional<QPointF> a_, b_;
};

// The heights along the measured line, with their uncertainty as a band.
class CHeightProfile : public QWidget {
    Q_OBJECT
public:
    explicit CHeightProfile(QWidget* parent = nullptr);
    void SetProfile(std::vector<HeightMap::ProfilePoint> points, bool micrometresAcross);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<HeightMap::ProfilePoint> points_;
    bool micrometresAcross_ = false;
};

class CHeightsDlg : public QDialog {
    Q_OBJECT
public:
    // `magnification`: the pictures' (for the calibration); `calibrationPath`: heights.json.
    CHeightsDlg(HeightMap map, QImage picture, int magnification, QString calibrationPath, QWidget* parent = nullptr);

    // A click on the picture from above: the first point, then the second (then a new first).
    void PickPoint(QPointF picturePoint);
    // "Δh = 123.4 ± 5.6 µm" once two points are picked.
    QString MeasurementText() const;
    std::optional<std::pair<double, double>> Difference() const; // height and its uncertainty
    void OnCalibrate();
    void OnSave();
    CHeightView& View() const { return *view_; }
    const HeightMap& Map() const { return map_; }

    // Tests stand in for the question of the known height difference (micrometres; none: cancelled).
    std::function<std::optional<double>()> askKnownHeight;

private:
    void Measure();

    HeightMap map_;
    QImage picture_;
    int magnification_ = 0;
    QString calibrationPath_;
    CHeightView* view_ = nullptr;
    CHeightPicker* picker_ = nullptr;
    CHeightProfile* profile_ = nullptr;
    QLabel* readout_ = nullptr;
    QPushButton* colours_ = nullptr;
    std::optional<QPointF> a_, b_;
};
