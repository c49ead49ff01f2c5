#pragma once
// The focus bar under the live picture: how sharp the picture is now against the sharpest
// seen since the scene changed, so turning the knob shows where the best point lies.

#include <QTimer>
#include <QWidget>

#include <memory>

class FocusMeter;
class QPainter;

// Tints the sharpest edges of the last frame over the picture's `area`, when the meter's
// peaking is on.
void DrawPeaking(QPainter& painter, const QRect& area, const FocusMeter& meter);

class FocusDisplay : public QWidget {
    Q_OBJECT
public:
    FocusDisplay(std::shared_ptr<FocusMeter> meter, QWidget* parent = nullptr);
    // The share of the best value the bar shows now (0..1), as last painted.
    double Share() const { return share_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::shared_ptr<FocusMeter> meter_;
    QTimer refresh_;
    double share_ = 0;
};
