#pragma once
// The time-lapse dialog: start time, interval and picture count, the disk space the series
// needs, and while it runs, what it is doing. Modal: the main window waits, the live picture
// and the saving of the pictures go on.

#include "app/timelapse/TimeLapseSeries.h"
#include "framework/FieldExchange.h"
#include "framework/HandOff.h"
#include "framework/ModalDialog.h"

#include <QDateTime>

#include <memory>

class CCaptureGraph;
class QLabel;
class QLineEdit;
class QPushButton;

class CTimeLapseDlg : public CModalDialog {
    Q_OBJECT
public:
    CTimeLapseDlg(CCaptureGraph& engine, QWidget* parent = nullptr,
                  std::shared_ptr<SeriesClock> clock = std::make_shared<SystemSeriesClock>());
    ~CTimeLapseDlg() override;

    // Fields, with their bounds.
    int intervalSeconds = 3; // 3..60
    int intervalMinutes = 0; // 0..999
    int pictureCount = 8;    // 1..200
    int startDay = 1, startHour = 0, startMinute = 0, startMonth = 1, startSecond = 0, startYear = 2008;

    // "%4d.%2d" megabytes for `count` pictures of `imageSize` bytes each.
    static QString SizeEstimate(int count, std::int64_t imageSize);

    void OnStartStop();
    void OnCancel();
    bool IsSeriesRunning() const { return series_.IsRunning(); }

    QLineEdit& Box(int controlId) const;
    QPushButton& StartButton() const { return *startButton_; }
    QLabel& CompletedLabel() const { return *completed_; }
    QLabel& StatusLabel() const { return *status_; }
    QLineEdit& SizeBox() const { return *sizeBox_; }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override;

private:
    struct Report {
        enum Kind { Waiting, Completed, Finished } kind;
        std::int64_t value = 0;
    };

    void ShowSizeEstimate();
    QDateTime StartTime() const;

    CCaptureGraph& engine_;
    FieldExchange exchange_;
    std::map<int, QLineEdit*> boxes_;
    QPushButton* startButton_ = nullptr;
    QLabel* completed_ = nullptr;
    QLabel* status_ = nullptr;
    QLineEdit* sizeBox_ = nullptr;
    HandOff<Report> reports_{this, 16};
    TimeLapseSeries series_; // declared last: it stops before the rest goes
};
