#include "processing/LiveFocusStack.h"

#include "processing/FocusStack.h"

#include <QPainter>

#include <cstring>
#include <pthread.h>

LiveFocusStack::LiveFocusStack() = default;

LiveFocusStack::~LiveFocusStack()
{
    EndWorker();
}

void LiveFocusStack::Start()
{
    EndWorker();
    {
        std::lock_guard lock(mutex_);
        pending_ = QImage();
        shown_ = QImage();
        quit_ = false;
        busy_ = false;
    }
    counted_ = 0;
    stack_ = std::make_unique<FocusStack>(FocusStack::Options{true, false});
    worker_ = std::thread([this] { Work(); });
    running_ = true;
}

void LiveFocusStack::EndWorker()
{
    running_ = false;
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
}

QImage LiveFocusStack::Stop(QImage* depthMap)
{
    running_ = false; // no more frames are handed over
    if (worker_.joinable()) {
        // The frame in hand is stacked before the end.
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [this] { return !busy_ && pending_.isNull(); });
    }
    EndWorker();
    if (!stack_ || stack_->Given() == 0) return {};
    if (depthMap) *depthMap = stack_->DepthMap();
    QImage result = stack_->Result();
    stack_.reset();
    return result;
}

bool LiveFocusStack::Idle() const
{
    std::lock_guard lock(mutex_);
    return !busy_ && pending_.isNull();
}

void LiveFocusStack::Cancel()
{
    EndWorker();
    stack_.reset();
}

void LiveFocusStack::Process(Frame& frame)
{
    if (!running_ || frame.Empty()) return;
    const QImage live = QImage(frame.pixels.data(), frame.width, frame.height, static_cast<qsizetype>(frame.stride),
                               QImage::Format_BGR888)
                            .copy();
    {
        std::lock_guard lock(mutex_);
        pending_ = live; // the newest waiting frame wins
    }
    wake_.notify_one();
    ShowStackIn(frame, live);
}

void LiveFocusStack::ShowStackIn(Frame& frame, const QImage& live)
{
    QImage shown;
    {
        std::lock_guard lock(mutex_);
        shown = shown_;
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
}

void LiveFocusStack::Work()
{
    pthread_setname_np(pthread_self(), "qrv-stacking");
    for (;;) {
        QImage frame;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return quit_ || !pending_.isNull(); });
            if (quit_) return;
            frame = std::move(pending_);
            pending_ = QImage();
            busy_ = true;
        }
        if (stack_->Add(frame) == FocusStack::Added::Sharper) ++counted_;
        const QImage shown = stack_->Result().convertToFormat(QImage::Format_BGR888);
        {
            std::lock_guard lock(mutex_);
            shown_ = shown;
            busy_ = false;
        }
        idle_.notify_all();
    }
}
