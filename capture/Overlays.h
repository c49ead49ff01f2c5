#pragma once
// The measuring aids drawn over the live picture, and the two texts the main window owns
// (the request to connect the microscope, the hint for leaving full screen). All geometry
// is in pixels of the preview window; no calibration applies.

#include <QDateTime>
#include <QFont>
#include <QRect>
#include <QString>

#include <atomic>
#include <mutex>

class QPainter;

struct OverlaySwitches {
    std::atomic<int> dateTime{0};
    std::atomic<int> crossLine{0};
    std::atomic<int> coordinates{0};
    std::atomic<int> circles{0};
};

// Texts owned by the main window and read while drawing (possibly on another thread).
class OverlayTexts {
public:
    void SetConnectMessage(const QString& text);
    QString ConnectMessage() const;
    void SetFullScreenHint(const QString& text);
    QString FullScreenHint() const;
    std::atomic<int> fullScreen{0};

private:
    mutable std::mutex mutex_;
    QString connectMessage_;
    QString fullScreenHint_;
};

// "%d-%d-%d %d:%d:%d" without leading zeros.
QString FormatDateTimeStamp(const QDateTime& time);

// A font made from the fixed-pitch stock font with the given character cell.
QFont MakeFixedFont(int height, int width);
// The system font the date-time stamp is written in.
QFont SystemFont();

void DrawDateTime(QPainter& p, const QRect& client, const OverlaySwitches& on, const QDateTime& now,
                  const QFont& font);
void DrawCrossLine(QPainter& p, const QRect& client, const OverlaySwitches& on);
void DrawCoordinates(QPainter& p, const QRect& client, const OverlaySwitches& on);
void DrawCircles(QPainter& p, const QRect& client, const OverlaySwitches& on);
void DrawConnectMessage(QPainter& p, const QRect& client, const OverlayTexts& texts, const QFont& font);
void DrawFullScreenHint(QPainter& p, const QRect& client, const OverlayTexts& texts, const QFont& font);

// Tick half-lengths of the coordinates overlay, step by step: 1 short, 3 medium, 6 long.
int TickHalfLength(int& counter);
