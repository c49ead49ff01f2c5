#include "processing/LiveFocusStack.h"

#include "processing/FocusStack.h"
#include "processing/FrameNotice.h"
#include "processing/NewestFrameWorker.h"

#include <QPainter>

#include <cstring>

LiveFocusStack::LiveFocusStack() = default;

LiveFocusStack::~LiveFocusStack()
{
    TakeWorker();
}

std::unique_ptr<NewestFrameWorker> LiveFocusStack::TakeWorker()
{
    // Once taken, the processing thread hands it no more frames.
    std::lock_guard lock(workerMutex_);
    running_ = false;
    return std::move(worker_);
}

void LiveFocusStack::Start(const QString& sizeChanged)
{
    TakeWorker().reset();
    {
        std::lock_guard lock(shownMutex_);
        shown_ = QImage();
        sizeChangedText_ = sizeChanged;
    }
    counted_ = 0;
    sizeChanged_ = false;
    lastStack_.reset();
    // The pictures that count are kept at half size too: heights of the stack afterwards.
    stack_ = std::make_unique<FocusStack>(
        FocusStack::Options{.align = true, .keepFrames = false, .quick = true, .keepReducedBy = 2});
    std::lock_guard lock(workerMutex_);
    worker_ = std::make_unique<NewestFrameWorker>("qrv-stacking", [this](const WorkFrame& frame) { Stack(frame); });
    running_ = true;
}

QImage LiveFocusStack::Stop(QImage* depthMap)
{
    std::unique_ptr<NewestFrameWorker> worker = TakeWorker();
    if (!worker) return {};
    worker->WaitUntilIdle(); // the frame in hand is stacked before the end
    worker.reset();
    if (!stack_ || stack_->Given() == 0) return {};
    if (depthMap) *depthMap = stack_->DepthMap();
    QImage result = stack_->Result();
    lastStack_ = std::move(stack_);
    return result;
}

bool LiveFocusStack::Idle() const
{
    std::lock_guard lock(workerMutex_);
    return !worker_ || worker_->Idle();
}

void LiveFocusStack::Cancel()
{
    TakeWorker().reset();
    stack_.reset();
    lastStack_.reset();
}

std::optional<HeightMap> LiveFocusStack::LastHeights(const HeightScale& scale) const
{
    if (!lastStack_) return std::nullopt;
    return HeightsOf(*lastStack_, scale);
}

QImage LiveFocusStack::LastPicture() const
{
    if (!lastStack_) return {};
    // At the heights' size (the kept pictures are reduced).
    const QImage result = lastStack_->Result();
    const int reduction = lastStack_->KeptReduction();
    return reduction > 1 ? result.scaled(result.size() / reduction, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                         : result;
}

int LiveFocusStack::LastReduction() const
{
    return lastStack_ ? lastStack_->KeptReduction() : 1;
}

void LiveFocusStack::Process(Frame& frame)
{
    if (!running_ || frame.Empty()) return;
    const QImage live = QImage(frame.pixels.data(), frame.width, frame.height, static_cast<qsizetype>(frame.stride),
                               QImage::Format_BGR888)
                            .copy();
    {
        std::lock_guard lock(workerMutex_);
        if (!worker_) return;
        worker_->Hand({live, frame.focusPosition});
    }
    ShowStackIn(frame, live);
}

void LiveFocusStack::ShowStackIn(Frame& frame, const QImage& live)
{
    QImage shown;
    QString sizeChanged;
    {
        std::lock_guard lock(shownMutex_);
        shown = shown_;
        if (sizeChanged_) sizeChanged = sizeChangedText_;
    }
    if (shown.size() == QSize(frame.width, frame.height))
        for (int y = 0; y < frame.height; ++y)
            std::memcpy(frame.Row(y), shown.constScanLine(y), static_cast<std::size_t>(frame.width) * 3);
    // The live frame in an inset at the bottom right, a quarter wide, with the count.
    const int insetWidth = std::max(32, frame.width / 4);
    QImage inset = live.scaledToWidth(insetWidth, Qt::FastTransformation);
    {
        QPainter painter(&inset);
        painter.setPen(QPen(Qt::white, 2));
        painter.drawRect(inset.rect().adjusted(1, 1, -1, -1));
        QFont font = painter.font();
        font.setPixelSize(std::max(10, inset.height() / 8));
        painter.setFont(font);
        painter.drawText(inset.rect().adjusted(6, 4, -6, -4), Qt::AlignLeft | Qt::AlignTop,
                         QStringLiteral("%1").arg(counted_.load()));
    }
    const int left = frame.width - inset.width() - 8, top = frame.height - inset.height() - 8;
    if (left < 0 || top < 0) return;
    for (int y = 0; y < inset.height(); ++y)
        std::memcpy(frame.Row(top + y) + static_cast<std::size_t>(left) * 3, inset.constScanLine(y),
                    static_cast<std::size_t>(inset.width()) * 3);
    if (sizeChanged.isEmpty()) return;
    QImage surface(frame.pixels.data(), frame.width, frame.height, static_cast<qsizetype>(frame.stride),
                   QImage::Format_BGR888);
    QPainter painter(&surface);
    UseFrameNoticeFont(painter, frame.height);
    DrawFrameNotice(painter, sizeChanged, frame.width - 8, 8, FrameWarningColour());
}

void LiveFocusStack::Stack(const WorkFrame& frame)
{
    const FocusStack::Added added = stack_->Add(frame.picture, frame.focusPosition);
    if (added == FocusStack::Added::Sharper) ++counted_;
    sizeChanged_ = added == FocusStack::Added::WrongSize;
    const QImage shown = stack_->RunningResult();
    std::lock_guard lock(shownMutex_);
    shown_ = shown;
}
