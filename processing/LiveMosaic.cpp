#include "processing/LiveMosaic.h"

#include "processing/FrameNotice.h"
#include "processing/NewestFrameWorker.h"

#include <QPainter>

#include <algorithm>

LiveMosaic::LiveMosaic() = default;

LiveMosaic::~LiveMosaic()
{
    TakeWorker();
}

std::unique_ptr<NewestFrameWorker> LiveMosaic::TakeWorker()
{
    // Once taken, the processing thread hands it no more frames.
    std::lock_guard lock(workerMutex_);
    running_ = false;
    return std::move(worker_);
}

void LiveMosaic::Start(Texts texts, Mosaic::Options options)
{
    TakeWorker().reset();
    {
        std::lock_guard lock(mapMutex_);
        map_ = QImage();
    }
    keys_ = 0;
    lost_ = Mosaic::LostReason::None;
    atLimit_ = false;
    sizeChanged_ = false;
    mosaic_ = std::make_unique<Mosaic>(options);
    {
        std::lock_guard lock(mapMutex_);
        texts_ = std::move(texts);
    }
    std::lock_guard lock(workerMutex_);
    worker_ =
        std::make_unique<NewestFrameWorker>("qrv-mosaic", [this](const WorkFrame& frame) { Track(frame.picture); });
    running_ = true;
}

std::unique_ptr<Mosaic> LiveMosaic::Stop()
{
    std::unique_ptr<NewestFrameWorker> worker = TakeWorker();
    if (!worker) return {};
    worker->WaitUntilIdle(); // the frame in hand is placed before the end
    worker.reset();
    if (!mosaic_ || mosaic_->KeyCount() == 0) mosaic_.reset();
    return std::move(mosaic_);
}

void LiveMosaic::Cancel()
{
    TakeWorker().reset();
    mosaic_.reset();
}

bool LiveMosaic::Idle() const
{
    std::lock_guard lock(workerMutex_);
    return !worker_ || worker_->Idle();
}

void LiveMosaic::Process(Frame& frame)
{
    if (!running_ || frame.Empty()) return;
    {
        std::lock_guard lock(workerMutex_);
        if (!worker_) return;
        worker_->Hand({QImage(frame.pixels.data(), frame.width, frame.height, static_cast<qsizetype>(frame.stride),
                              QImage::Format_BGR888)
                           .copy()});
    }
    ShowMapIn(frame);
}

void LiveMosaic::Track(const QImage& frame)
{
    const Mosaic::Step step = mosaic_->Add(frame);
    if (step == Mosaic::Step::TooLarge) atLimit_ = true;
    sizeChanged_ = step == Mosaic::Step::WrongSize;
    lost_ = mosaic_->Lost();
    keys_ = mosaic_->KeyCount();
    // The map, a quarter of the frame's width at most.
    QImage map = mosaic_->Map(std::max(64, frame.width() / 4));
    std::lock_guard lock(mapMutex_);
    map_ = std::move(map);
}

void LiveMosaic::ShowMapIn(Frame& frame) const
{
    QImage map;
    Texts texts;
    {
        std::lock_guard lock(mapMutex_);
        map = map_;
        texts = texts_;
    }
    QImage surface(frame.pixels.data(), frame.width, frame.height, static_cast<qsizetype>(frame.stride),
                   QImage::Format_BGR888);
    QPainter painter(&surface);
    const int margin = 8;
    UseFrameNoticeFont(painter, frame.height);
    // The map at the top right, framed, with the number of pictures under it.
    const QRect mapBox(frame.width - margin - map.width(), margin, map.width(), map.height());
    if (!map.isNull()) {
        painter.drawImage(mapBox.topLeft(), map);
        painter.setPen(QPen(Qt::white, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(mapBox.adjusted(-1, -1, 0, 0));
    }
    const QString count = QString::number(keys_.load());
    const QString message = sizeChanged_                           ? texts.sizeChanged
                            : atLimit_                             ? texts.sizeLimit
                            : lost_ == Mosaic::LostReason::Blank   ? texts.blank
                            : lost_ == Mosaic::LostReason::NoMatch ? texts.lost
                                                                   : QString();
    const int right = frame.width - margin;
    const int top = map.isNull() ? margin : mapBox.bottom() + 4;
    const int countHeight = DrawFrameNotice(painter, count, right, top, Qt::white);
    DrawFrameNotice(painter, message, right, top + countHeight + 2, FrameWarningColour());
}
