#pragma once
// The measuring aids drawn over the live picture, and the two texts the main window owns
// (the request to connect the microscope, the hint for leaving full screen). All geometry
// is in pixels of the preview window; only the scale bar uses a calibration.

#include <QDateTime>
#include <QFont>
#include <QRect>
#include <QString>

class QPainter;

// Which measuring aids are drawn over the live picture.
struct OverlaySwitches {
    bool dateTime = false;
    bool crossLine = false;
    bool coordinates = false;
    bool circles = false;
    bool scaleBar = false; // drawn only where a stage calibration gives the scale
    bool Any() const { return dateTime || crossLine || coordinates || circles || scaleBar; }
};

// Texts owned by the main window and drawn over the preview.
struct OverlayTexts {
    QString connectMessage; // empty while the microscope streams
    QString fullScreenHint;
    bool fullScreen = false;
};

// "%d-%d-%d %d:%d:%d" without leading zeros.
QString FormatDateTimeStamp(const QDateTime& time);

// A font made from the fixed-pitch stock font with the given character cell.
QFont MakeFixedFont(int height, int width);
// The system font the date-time stamp is written in.
QFont SystemFont();

void DrawDateTime(QPainter& p, const QRect& client, const OverlaySwitches& on, const QDateTime& now, const QFont& font);
void DrawCrossLine(QPainter& p, const QRect& client, const OverlaySwitches& on);
void DrawCoordinates(QPainter& p, const QRect& client, const OverlaySwitches& on);
void DrawCircles(QPainter& p, const QRect& client, const OverlaySwitches& on);
void DrawConnectMessage(QPainter& p, const QRect& client, const OverlayTexts& texts, const QFont& font);
void DrawFullScreenHint(QPainter& p, const QRect& client, const OverlayTexts& texts, const QFont& font);

// Tick half-lengths of the coordinates overlay, step by step: 1 short, 3 medium, 6 long.
int TickHalfLength(int& counter);
