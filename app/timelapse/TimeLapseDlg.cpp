#include "app/timelapse/TimeLapseDlg.h"

#include "capture/CaptureGraph.h"
#include "framework/DialogUnits.h"
#include "framework/LangText.h"

#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cmath>

namespace {

// The controls of the dialog's fields, in the order they are read back.
enum : int {
    kIntervalSeconds = 1024,
    kIntervalMinutes = 1023,
    kPictureCount = 1025,
    kStartDay = 1019,
    kStartHour = 1020,
    kStartMinute = 1021,
    kStartMonth = 1018,
    kStartSecond = 1022,
    kStartYear = 1017,
};

} // namespace

CTimeLapseDlg::CTimeLapseDlg(CCaptureGraph& engine, QWidget* parent, std::shared_ptr<SeriesClock> clock)
    : CModalDialog(parent), engine_(engine),
      series_(std::move(clock),
              TimeLapseSeries::Reports{// The same request as F2: the engine saves the frame on screen.
                                       [&engine] { engine.Stills().Request(StillSource::Keyboard); },
                                       [this](std::int64_t left) {
                                           reports_.Post({Report::Waiting, left});
                                       },
                                       [this](int requested) {
                                           reports_.Post({Report::Completed, requested});
                                       },
                                       [this] {
                                           reports_.Post({Report::Finished, 0});
                                       }})
{
    const QDateTime now = QDateTime::currentDateTime();
    startYear = now.date().year();
    startMonth = now.date().month();
    startDay = now.date().day();
    startHour = now.time().hour();
    startMinute = now.time().minute();
    startSecond = now.time().second();

    const DialogTemplate layout(*this, 268, 132);
    auto at = [&layout](int x, int y, int w, int h) { return layout.At(x, y, w, h); };
    setWindowTitle(LangText("CaptureSetting", 64, "Capture Setting"));

    auto label = [&](const QString& text, QRect du) {
        auto* l = new QLabel(text, this);
        l->setGeometry(at(du.x(), du.y(), du.width(), du.height()));
        return l;
    };
    auto box = [&](int id, int* value, int minimum, int maximum, QRect du) {
        auto* edit = new QLineEdit(this);
        edit->setGeometry(at(du.x(), du.y(), du.width(), du.height()));
        boxes_[id] = edit;
        return std::make_tuple(edit, value, minimum, maximum);
    };
    label(LangText("StartTime", 64, "Start Time"), {7, 9, 44, 10});
    const auto year = box(kStartYear, &startYear, 2008, 2032, {52, 7, 24, 12});
    label(QStringLiteral("Yr"), {77, 9, 12, 10});
    const auto month = box(kStartMonth, &startMonth, 1, 12, {90, 7, 16, 12});
    label(QStringLiteral("Mon"), {107, 9, 16, 10});
    const auto day = box(kStartDay, &startDay, 1, 31, {124, 7, 16, 12});
    label(QStringLiteral("Day"), {141, 9, 14, 10});
    const auto hour = box(kStartHour, &startHour, 0, 24, {158, 7, 16, 12});
    label(QStringLiteral("Hr"), {175, 9, 10, 10});
    const auto minute = box(kStartMinute, &startMinute, 0, 60, {188, 7, 16, 12});
    label(QStringLiteral("Min"), {205, 9, 14, 10});
    const auto second = box(kStartSecond, &startSecond, 0, 60, {222, 7, 16, 12});
    label(QStringLiteral("Sec"), {239, 9, 14, 10});

    label(LangText("Interval", 64, "Interval"), {7, 29, 44, 10});
    const auto minutes = box(kIntervalMinutes, &intervalMinutes, 0, 999, {52, 27, 24, 12});
    label(QStringLiteral("Min"), {77, 29, 14, 10});
    const auto seconds = box(kIntervalSeconds, &intervalSeconds, 3, 60, {92, 27, 16, 12});
    label(QStringLiteral("Sec"), {109, 29, 14, 10});

    label(LangText("Capture", 64, "Capture"), {7, 49, 44, 10});
    const auto count = box(kPictureCount, &pictureCount, 1, 200, {52, 47, 24, 12});
    label(LangText("Frame", 64, "Frame"), {77, 49, 30, 10});
    label(LangText("Completed", 64, "Completed"), {124, 49, 44, 10});
    completed_ = label(QStringLiteral("0"), {170, 49, 24, 10});
    label(LangText("Frame", 64, "Frame"), {196, 49, 30, 10});

    label(LangText("FileSize", 64, "File Size"), {7, 69, 44, 10});
    sizeBox_ = new QLineEdit(this);
    sizeBox_->setReadOnly(true);
    sizeBox_->setGeometry(at(52, 67, 40, 12));
    label(QStringLiteral("MB"), {94, 69, 14, 10});

    status_ = label(QString(), {7, 88, 254, 10});

    startButton_ = new QPushButton(LangText("Start", 260, "Start"), this);
    startButton_->setGeometry(at(132, 108, 60, 14));
    auto* cancel = new QPushButton(LangText("Cancel", 64, "Cancel"), this);
    cancel->setGeometry(at(201, 108, 60, 14));
    connect(startButton_, &QPushButton::clicked, this, &CTimeLapseDlg::OnStartStop);
    connect(cancel, &QPushButton::clicked, this, &CTimeLapseDlg::OnCancel);

    // Read back in this order; the first failing field is the one reported.
    for (const auto& field : {seconds, minutes, count, day, hour, minute, month, second, year})
        exchange_.AddInt(std::get<0>(field), std::get<1>(field), std::get<2>(field), std::get<3>(field));
    exchange_.Load();
    boxes_[kPictureCount]->installEventFilter(this);
    connect(boxes_[kPictureCount], &QLineEdit::textChanged, this, &CTimeLapseDlg::ShowSizeEstimate);
    ShowSizeEstimate();
}

CTimeLapseDlg::~CTimeLapseDlg()
{
    series_.Stop();
}

QLineEdit& CTimeLapseDlg::Box(int controlId) const
{
    return *boxes_.at(controlId);
}

QString CTimeLapseDlg::SizeEstimate(int count, std::int64_t imageSize)
{
    const double hundredths = static_cast<double>(count) * static_cast<double>(imageSize) * 100.0 / 1048576.0;
    const int whole = static_cast<int>(hundredths / 100);
    const int fraction = static_cast<int>(hundredths - whole * 100.0);
    return QString::asprintf("%4d.%02d", whole, fraction); // 7.03, not "7. 3"
}

void CTimeLapseDlg::ShowSizeEstimate()
{
    // From the count as typed so far (the stored one while the box holds no number in range).
    bool ok = false;
    const int typed = boxes_[kPictureCount]->text().trimmed().toInt(&ok);
    const int count = ok && typed >= 1 && typed <= 200 ? typed : pictureCount;
    const QSize size = engine_.CaptureSize();
    sizeBox_->setText(SizeEstimate(count, static_cast<std::int64_t>(size.width()) * size.height() * 3));
}

bool CTimeLapseDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == boxes_[kPictureCount] && event->type() == QEvent::FocusOut) {
        exchange_.Save(this);
        ShowSizeEstimate();
    }
    return CModalDialog::eventFilter(watched, event);
}

QDateTime CTimeLapseDlg::StartTime() const
{
    // Hour 24 and minute or second 60 are allowed by the fields; they count on.
    QDateTime start(QDate(startYear, startMonth, 1), QTime(0, 0));
    start = start.addDays(startDay - 1);
    return start.addSecs(static_cast<qint64>(startHour) * 3600 + startMinute * 60 + startSecond);
}

void CTimeLapseDlg::OnStartStop()
{
    if (startButton_->text() != LangText("Start", 260, "Start")) {
        completed_->setText(QStringLiteral("0"));
        series_.Stop();
        status_->clear();
        startButton_->setText(LangText("Start", 260, "Start"));
        return;
    }
    // The series goes on with what could be read back; the first bad field was reported.
    exchange_.Save(this);
    const QDateTime start = StartTime();
    QDateTime now = QDateTime::currentDateTime();
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    if (!start.isValid() || start < now) {
        ShowMessageBox(this, LangText("SET_TIMER_FAIL", 260, "The start time must be in the future."), windowTitle());
        return;
    }
    TimeLapseSeries::Plan plan;
    plan.start = start;
    plan.interval = std::chrono::milliseconds(intervalSeconds * 1000 + intervalMinutes * 60000);
    plan.pictures = pictureCount;
    reports_.Clear();
    if (!series_.Start(plan)) return;
    startButton_->setText(LangText("Stop", 260, "Stop"));
}

void CTimeLapseDlg::OnCancel()
{
    series_.Stop(); // returns at once: the worker only ever waits on its own wake-up
    reports_.Clear();
    EndDialog(Answer::Cancel);
}

void CTimeLapseDlg::reject()
{
    // The close box and Esc end the series the same way.
    series_.Stop();
    reports_.Clear();
    CModalDialog::reject();
}

bool CTimeLapseDlg::event(QEvent* event)
{
    if (!reports_.IsFor(event)) return CModalDialog::event(event);
    for (const Report& report : reports_.TakeAll()) {
        switch (report.kind) {
        case Report::Waiting:
            status_->setText(
                LangText("WaitingStart", 64, "Waiting for the start time: %1 s").arg(report.value)); // the time left
            break;
        case Report::Completed:
            status_->clear();
            completed_->setText(QString::number(report.value));
            break;
        case Report::Finished: OnCancel(); return true;
        }
    }
    return true;
}
