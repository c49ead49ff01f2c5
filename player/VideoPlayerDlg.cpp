#include "player/VideoPlayerDlg.h"

#include "framework/LangText.h"
#include "resources/Resources.h"
#include "widgets/BitmapButton.h"

#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QSlider>

namespace {

enum : int {
    kPlay = 1024,
    kStop = 1020,
    kPause = 1025,
    kFirst = 1010,
    kBackward = 1011,
    kForward = 1012,
    kLast = 1013,
};

// The picture the engine presents, in the middle of the video area with its shape kept
// (black bars where its shape and the area's differ).
class VideoPicture : public QWidget {
public:
    VideoPicture(const PlaybackEngine& engine, QWidget* parent) : QWidget(parent), engine_(engine)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QImage frame = engine_.CurrentFrame();
        painter.fillRect(rect(), Qt::black);
        if (frame.isNull()) return;
        QRect shown(QPoint(), frame.size().scaled(size(), Qt::KeepAspectRatio));
        shown.moveCenter(rect().center());
        painter.drawImage(shown, frame);
    }

private:
    const PlaybackEngine& engine_;
};

} // namespace

bool CMoviePlayer::Open(const QString& path, QSize videoArea)
{
    return engine_.Open(path, videoArea);
}

CVideoPlayerDlg::CVideoPlayerDlg(const QString& path, std::function<bool()> stillSelected, QWidget* parent)
    : CModalDialog(parent), stillSelected_(std::move(stillSelected))
{
    SetSwallowEscAndEnter(true);
    setWindowTitle(LangText("VideoPlayer", 64, "Video Player"));
    background_ = resources::LoadBitmapImage(IDB_PLAYER_BACKGROUND).convertToFormat(QImage::Format_RGB32);
    setFixedSize(kClientSize);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        move(available.center() - QPoint(kClientSize.width() / 2, kClientSize.height() / 2));
    }

    videoArea_ = new VideoPicture(engine_, this);
    videoArea_->setGeometry(kVideoArea);
    connect(&engine_, &PlaybackEngine::FrameShown, videoArea_, qOverload<>(&QWidget::update));
    // The end of the video: as Stop, once the engine has finished presenting.
    connect(&engine_, &PlaybackEngine::Completed, this, &CVideoPlayerDlg::OnStop, Qt::QueuedConnection);

    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setGeometry(74, 414, 445, 14);
    slider_->setPageStep(10);
    slider_->setSingleStep(1);

    struct Place {
        int id;
        int bitmap;
        QPoint at;
        bool latch;
        const char* key;
        const char* tip;
    };
    const Place places[] = {
        {kPlay, IDB_PLAYER_PLAY, {162, 426}, true, "TipPlay", "Play"},
        {kStop, IDB_PLAYER_STOP, {212, 432}, false, "TipStop", "Stop"},
        {kPause, IDB_PLAYER_PAUSE, {219, 440}, true, "TipPause", "Pause"},
        {kFirst, IDB_PLAYER_FIRST, {254, 432}, false, "TipFirst", "First"},
        {kBackward, IDB_PLAYER_BACKWARD, {296, 432}, false, "TipReward", "Backward"},
        {kForward, IDB_PLAYER_FORWARD, {330, 432}, false, "TipForward", "Forward"},
        {kLast, IDB_PLAYER_LAST, {372, 432}, false, "TipLast", "Last"},
    };
    for (const Place& place : places) {
        CBitmapButton* button = CreateArtworkButton(this, place.bitmap, place.at, place.latch);
        button->setToolTip(LangText(place.key, 64, place.tip));
        buttons_[place.id] = button;
    }
    play_ = static_cast<CLatchButton*>(buttons_[kPlay]);
    pause_ = static_cast<CLatchButton*>(buttons_[kPause]);
    pause_->hide(); // its latch still marks a pause made by back or forward
    connect(play_, &QAbstractButton::clicked, this, &CVideoPlayerDlg::OnPlay);
    connect(buttons_[kStop], &QAbstractButton::clicked, this, &CVideoPlayerDlg::OnStop);
    connect(pause_, &QAbstractButton::clicked, this, &CVideoPlayerDlg::OnPause);
    connect(buttons_[kFirst], &QAbstractButton::clicked, this, &CVideoPlayerDlg::OnFirst);
    connect(buttons_[kBackward], &QAbstractButton::clicked, this, &CVideoPlayerDlg::OnBackward);
    connect(buttons_[kForward], &QAbstractButton::clicked, this, &CVideoPlayerDlg::OnForward);
    connect(buttons_[kLast], &QAbstractButton::clicked, this, &CVideoPlayerDlg::OnLast);

    positionTimer_.setInterval(50);
    connect(&positionTimer_, &QTimer::timeout, this, &CVideoPlayerDlg::OnPositionTick);

    // A file that cannot be opened leaves the range at 0 and every button without effect.
    if (player_.Open(path, kVideoArea.size())) {
        slider_->setRange(0, static_cast<int>(player_.GetDuration() * 10));
        slider_->setValue(0);
        player_.Pause(); // the first frame shows, nothing runs
    } else {
        slider_->setRange(0, 0);
    }
}

CVideoPlayerDlg::~CVideoPlayerDlg()
{
    positionTimer_.stop();
    player_.Release(); // the decoding thread ends here
}

QWidget& CVideoPlayerDlg::Button(int controlId) const
{
    return *buttons_.at(controlId);
}

void CVideoPlayerDlg::EnableSeekButtons()
{
    pause_->setEnabled(true);
    for (const int id : {kFirst, kBackward, kForward, kLast}) buttons_[id]->setEnabled(play_->IsLatched());
}

void CVideoPlayerDlg::OnPlay()
{
    if (!player_.IsOpen()) return;
    if (play_->IsLatched()) {
        play_->Unlatch();
        player_.Pause();
        positionTimer_.stop();
    } else if (!stillSelected_ || stillSelected_()) {
        play_->Latch();
        pause_->Unlatch();
        player_.Play();
        positionTimer_.start();
    }
    EnableSeekButtons();
}

void CVideoPlayerDlg::OnStop()
{
    if (!player_.IsOpen()) return;
    play_->Unlatch();
    pause_->Unlatch();
    EnableSeekButtons();
    player_.Pause();
    positionTimer_.stop();
    slider_->setValue(0);
    player_.SetPosition(0);
}

void CVideoPlayerDlg::OnPause()
{
    if (!player_.IsOpen()) return;
    if (pause_->IsLatched()) {
        pause_->Unlatch();
        player_.Resume();
        positionTimer_.start();
    } else {
        positionTimer_.stop();
        pause_->Latch();
        player_.Pause();
    }
}

void CVideoPlayerDlg::OnFirst()
{
    if (player_.IsOpen()) player_.SeekStart();
}

void CVideoPlayerDlg::OnBackward()
{
    if (!player_.IsOpen()) return;
    pause_->Latch();
    player_.Pause();
    player_.StepBackward();
}

void CVideoPlayerDlg::OnForward()
{
    if (!player_.IsOpen()) return;
    pause_->Latch();
    player_.Pause();
    player_.StepForward();
}

void CVideoPlayerDlg::OnLast()
{
    if (player_.IsOpen()) player_.SeekEnd();
}

void CVideoPlayerDlg::OnPositionTick()
{
    slider_->setValue(static_cast<int>(player_.GetPosition() * 10));
    if (slider_->value() >= slider_->maximum()) OnStop();
}

void CVideoPlayerDlg::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.drawImage(QRectF(event->rect()), background_, resources::PixelsOf(event->rect(), background_));
}
