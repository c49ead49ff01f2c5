#pragma once
// The video player: the selected video in a video area over the player's skin, a position
// slider in tenths of a second and seven buttons (play, stop, a hidden pause, to the start,
// two seconds back and forward, to the end). CMoviePlayer drives the playback engine.

#include "framework/ModalDialog.h"
#include "media/PlaybackEngine.h"

#include <QImage>
#include <QTimer>

class CBitmapButton;
class CLatchButton;
class QSlider;

class CMoviePlayer {
public:
    explicit CMoviePlayer(PlaybackEngine& engine) : engine_(engine) {}

    bool Open(const QString& path, QSize videoArea);
    void Release() { engine_.Close(); }
    void Play() { engine_.Run(); }
    void Resume() { engine_.Run(); }
    void Pause() { engine_.Pause(); }
    void SeekStart() { SetPosition(0); }
    void SeekEnd() { SetPosition(GetDuration()); }
    void StepForward() { SetPosition(std::min(GetPosition() + 2.0, GetDuration())); }
    void StepBackward() { SetPosition(std::max(GetPosition() - 2.0, 0.0)); }
    double GetDuration() const { return engine_.IsOpen() ? engine_.Duration() : 0; }
    double GetPosition() const { return engine_.IsOpen() ? engine_.Position() : 0; }
    void SetPosition(double seconds) { engine_.SetPosition(seconds); }
    bool IsOpen() const { return engine_.IsOpen(); }

private:
    PlaybackEngine& engine_;
};

class CVideoPlayerDlg : public CModalDialog {
    Q_OBJECT
public:
    static constexpr QSize kClientSize{593, 479};
    static constexpr QRect kVideoArea{2, 1, 589, 410};

    // `stillSelected` tells whether the list still has the video selected (Play needs it).
    CVideoPlayerDlg(const QString& path, std::function<bool()> stillSelected, QWidget* parent = nullptr);
    ~CVideoPlayerDlg() override;

    void OnPlay();
    void OnStop();
    void OnPause();
    void OnFirst();
    void OnBackward();
    void OnForward();
    void OnLast();

    QSlider& Slider() const { return *slider_; }
    CLatchButton& PlayButton() const { return *play_; }
    CLatchButton& PauseButton() const { return *pause_; }
    QWidget& Button(int controlId) const;
    const PlaybackEngine& Engine() const { return engine_; }
    QWidget& VideoArea() const { return *videoArea_; }
    bool IsPositionTimerOn() const { return positionTimer_.isActive(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void EnableSeekButtons();
    void OnPositionTick();

    PlaybackEngine engine_;
    CMoviePlayer player_{engine_};
    std::function<bool()> stillSelected_;
    QImage background_;
    QWidget* videoArea_ = nullptr;
    QSlider* slider_ = nullptr;
    CLatchButton* play_ = nullptr;
    CLatchButton* pause_ = nullptr;
    std::map<int, CBitmapButton*> buttons_;
    QTimer positionTimer_; // while playing: the slider follows the position
};
