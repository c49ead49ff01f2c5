#include "browser/ThumbnailList.h"
#include "browser/ThumbnailListAccessible.h"

#include "framework/LangText.h"
#include "framework/Logging.h"
#include "framework/MessageBox.h"
#include "framework/RegularFile.h"
#include "media/AviRepair.h"
#include "media/PictureFile.h"
#include "media/PictureWriter.h"
#include "media/StillNames.h"
#include "resources/Resources.h"

#include <QAccessible>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QTimer>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cstring>

namespace {
const QColor kSelectionPen(12, 191, 0);

// A bar that cannot scroll stays visible but shows no thumb, as a disabled bar should.
class ListScrollBar : public QScrollBar {
public:
    using QScrollBar::QScrollBar;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        if (isEnabled()) {
            QScrollBar::paintEvent(event);
            return;
        }
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Active, QPalette::Window));
        QStyleOptionSlider option;
        initStyleOption(&option);
        option.subControls = QStyle::SC_ScrollBarAddLine | QStyle::SC_ScrollBarSubLine;
        style()->drawComplexControl(QStyle::CC_ScrollBar, &option, &painter, this);
    }
};
const QColor kMarkPen(243, 63, 255);

QString FileNameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString ExtensionOf(const QString& path)
{
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : path.mid(dot + 1);
}

// The folder's files matching `pattern`, in the order a person reads them: letter case
// ignored, then by exact name.
QStringList ListingOrder(const QString& folder, const QStringList& patterns)
{
    QStringList names = QDir(folder).entryList(patterns, QDir::Files, QDir::Unsorted);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int order = a.compare(b, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a < b;
    });
    return names;
}
} // namespace

CThumbnailList::CThumbnailList(QString pictureFolder, QString videoFolder, QWidget* parent)
    : QWidget(parent), pictureFolder_(std::move(pictureFolder)), videoFolder_(std::move(videoFolder))
{
    // A screen reader finds the pictures as the list's items.
    static const bool accessible = [] {
        QAccessible::installFactory(ThumbnailListAccessibleFactory);
        return true;
    }();
    (void)accessible;
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus); // pictures chosen and opened from the keyboard too
    scrollBar_ = new ListScrollBar(Qt::Vertical, this);
    scrollBar_->setSingleStep(1);
    scrollBar_->setPageStep(5);
    connect(scrollBar_, &QScrollBar::valueChanged, this, [this](int value) {
        if (updatingScrollBar_) return;
        Scroll(ThumbPosition, value);
    });

    // Only stills (*.bmp, *.tif, *.png) and *.avi recordings are listed (the listing ignores
    // letter case there).
    for (const QString& name : ListingOrder(pictureFolder_, StillPicturePatterns()))
        AddPictureFile(pictureFolder_ + QLatin1Char('/') + name);
    for (const QString& name : ListingOrder(videoFolder_, {QStringLiteral("*.avi")}))
        AddVideoFile(videoFolder_ + QLatin1Char('/') + name);
}

CThumbnailList::~CThumbnailList() = default;

int CThumbnailList::TopRowRoundedDown(int count)
{
    return count > kCells ? (count - kCells) / 2 : 0;
}

int CThumbnailList::TopRowRoundedUp(int count)
{
    return count > kCells ? (count - kCells) / 2 + (count % 2) : 0;
}

void CThumbnailList::AddPictureFile(const QString& path)
{
    // A FIFO, a device or a link to one is never opened for reading: only regular files.
    qint64 size = 0;
    if (!IsReadableRegularFile(path, &size) || size <= 40) return;
    pictures_.push_back({path, Listed | New});
    pictureTopRow_ = TopRowRoundedDown(static_cast<int>(pictures_.size()));
}

void CThumbnailList::AddVideoFile(const QString& path)
{
    videos_.push_back({path, Listed | New});
    videoTopRow_ = TopRowRoundedDown(static_cast<int>(videos_.size()));
}

void CThumbnailList::AddCapturedPicture(const QString& path)
{
    pictures_.push_back({path, Listed | New});
    const int count = static_cast<int>(pictures_.size());
    pictureTopRow_ = TopRowRoundedUp(count);
    UpdateScrollBar();
    ClearSelection(true);
    pictureSelected_ = count - 1;
    pictures_.back().flags |= Selected;
    RedrawThumbnails();
}

void CThumbnailList::AddRecordedVideo(const QString& path)
{
    videos_.push_back({path, Listed | New | Selected});
    const int count = static_cast<int>(videos_.size());
    videoTopRow_ = TopRowRoundedUp(count);
    UpdateScrollBar();
    // The new entry keeps its mark: the selection cleared here is the previous one.
    if (videoSelected_ != -1 && videoSelected_ < count - 1)
        videos_[static_cast<std::size_t>(videoSelected_)].flags &= ~Selected;
    videoSelected_ = count - 1;
    RedrawThumbnails();
}

int CThumbnailList::SelectAt(const QPoint& screenPoint, Qt::KeyboardModifiers modifiers)
{
    // A point on a cell's right or bottom edge lies outside it.
    const int index = EntryAt(mapFromGlobal(screenPoint));
    auto& list = CurrentList();
    int& selected = CurrentSelectedRef();
    const bool adding = showingPictures_ && index >= 0 && (modifiers & (Qt::ControlModifier | Qt::ShiftModifier));
    if (adding && (modifiers & Qt::ShiftModifier) && selected >= 0) {
        for (int i = std::min(selected, index); i <= std::max(selected, index); ++i)
            list[static_cast<std::size_t>(i)].flags |= Selected;
    } else if (adding) {
        MediaEntry& entry = list[static_cast<std::size_t>(index)];
        entry.flags ^= Selected;
        if (entry.flags & Selected) {
            selected = index;
        } else if (selected == index) {
            // The selected one taken out: the nearest other selected entry takes its place.
            selected = -1;
            for (int i = 0; i < static_cast<int>(list.size()); ++i)
                if ((list[static_cast<std::size_t>(i)].flags & Selected) &&
                    (selected < 0 || std::abs(i - index) < std::abs(selected - index)))
                    selected = i;
        }
    } else {
        ClearSelection(showingPictures_);
        if (index >= 0) {
            selected = index;
            list[static_cast<std::size_t>(index)].flags |= Selected;
        }
    }
    RedrawThumbnails();
    return index >= 0 ? 1 : 0;
}

bool CThumbnailList::IsSelectedAt(const QPoint& screenPoint) const
{
    const int index = EntryAt(mapFromGlobal(screenPoint));
    return index >= 0 && (CurrentList()[static_cast<std::size_t>(index)].flags & Selected);
}

QStringList CThumbnailList::SelectedPaths() const
{
    QStringList paths;
    for (const MediaEntry& entry : CurrentList())
        if ((entry.flags & (Listed | Selected)) == (Listed | Selected)) paths << entry.path;
    return paths;
}

const MediaEntry* CThumbnailList::GetSelectedEntry() const
{
    const int index = SelectedIndex();
    const auto& list = CurrentList();
    if (index < 0 || index >= static_cast<int>(list.size())) return nullptr;
    const MediaEntry& entry = list[static_cast<std::size_t>(index)];
    return (entry.flags & (Listed | Selected)) == (Listed | Selected) ? &entry : nullptr;
}

const MediaEntry* CThumbnailList::FindEntry(std::uint32_t mask) const
{
    for (const auto& entry : CurrentList())
        if ((entry.flags & mask) == mask) return &entry;
    return nullptr;
}

std::uint32_t CThumbnailList::GetSelectedPath(QString& path) const
{
    const MediaEntry* entry = GetSelectedEntry();
    if (!entry) return 0;
    path = entry->path;
    return entry->flags;
}

void CThumbnailList::ClearSelection(bool pictures)
{
    auto& list = pictures ? pictures_ : videos_;
    int& selected = pictures ? pictureSelected_ : videoSelected_;
    for (MediaEntry& entry : list) entry.flags &= ~Selected;
    selected = -1;
}

void CThumbnailList::RemoveEntry(const QString& path)
{
    auto& list = CurrentList();
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->path == path) { // two names that differ in case are two files
            const int removed = static_cast<int>(it - list.begin());
            list.erase(it);
            // Keep the selected index on its entry.
            int& selected = CurrentSelectedRef();
            if (selected == removed) selected = -1;
            else if (selected > removed) --selected;
            return;
        }
    }
}

int CThumbnailList::DropIfMissing(const QString& path)
{
    if (QFileInfo::exists(path)) return 0;
    ClearSelection(showingPictures_);
    RemoveEntry(path);
    UpdateScrollBar();
    RedrawThumbnails();
    return 1;
}

void CThumbnailList::DeleteSelected()
{
    const QString title = LangText("MsgTitle", 30, "QRV-DM500");
    if (ShowMessageBox(this, LangText("SureDelete", 64, "Are you sure you want to delete this file?"), title,
                       MessageButtons::OkCancel, MessageIcon::Warning) != Answer::Ok)
        return;
    QString path;
    if (!GetSelectedPath(path)) return;
    QFile file(path);
    if (!file.remove()) {
        ShowMessageBox(nullptr, file.errorString(), LangText("MsgTitle", 30, "QRV-DM500"), MessageButtons::Ok,
                       MessageIcon::Error);
        return;
    }
    ClearSelection(showingPictures_);
    RemoveEntry(path);
    UpdateScrollBar();
    RedrawThumbnails();
}

void CThumbnailList::DeleteAll()
{
    const QString title = LangText("MsgTitle", 30, "QRV-DM500");
    if (ShowMessageBox(this, LangText("SureDeleteAll", 64, "Are you sure you want to delete all files?"), title,
                       MessageButtons::OkCancel, MessageIcon::Warning) != Answer::Ok)
        return;
    QString path;
    if (!GetSelectedPath(path)) return;
    const QString extension = ExtensionOf(path);
    QString folder;
    if (extension == QLatin1String("bmp") || extension == QLatin1String("BMP") || extension == QLatin1String("jpg") ||
        extension == QLatin1String("JPG") || PictureFormatOf(path) == PictureFormat::Tiff ||
        PictureFormatOf(path) == PictureFormat::Png)
        folder = pictureFolder_;
    else if (extension == QLatin1String("avi") || extension == QLatin1String("AVI")) folder = videoFolder_;
    if (!folder.isEmpty()) {
        // Exactly what the list shows goes; a file that resists stays listed.
        auto& list = CurrentList();
        list.erase(
            std::remove_if(list.begin(), list.end(), [](const MediaEntry& entry) { return QFile::remove(entry.path); }),
            list.end());
        for (MediaEntry& entry : list) entry.flags &= ~Selected;
    } else if (CurrentSelectedRef() != -1) {
        CurrentList().clear(); // a selection of another kind empties the shown list only
    }
    CurrentSelectedRef() = -1;
    UpdateScrollBar();
    RedrawThumbnails();
}

void CThumbnailList::SelectedWasSaved()
{
    if (auto* entry = const_cast<MediaEntry*>(GetSelectedEntry())) entry->flags &= ~New;
}

void CThumbnailList::UpdateScrollBar()
{
    const int count = static_cast<int>(CurrentList().size());
    const int rows = count / 2 + (count % 2);
    const int maximum = rows > 5 ? rows - 1 : 4;
    // The top row the adding operation chose stays, so a new still or recording is shown;
    // only a row beyond the list (after deleting) comes back into range.
    int& topRow = CurrentTopRowRef();
    topRow = std::clamp(topRow, 0, std::max(0, rows - 1));
    updatingScrollBar_ = true;
    scrollBar_->setRange(0, maximum);
    scrollBar_->setPageStep(5);
    scrollBar_->setValue(topRow);
    updatingScrollBar_ = false;
    scrollBar_->show();
    scrollBar_->setEnabled(maximum >= 5);
}

void CThumbnailList::SelectIndex(int index, bool extend)
{
    auto& list = CurrentList();
    if (list.empty()) return;
    index = std::clamp(index, 0, static_cast<int>(list.size()) - 1);
    if (!extend || !showingPictures_) ClearSelection(showingPictures_);
    CurrentSelectedRef() = index;
    list[static_cast<std::size_t>(index)].flags |= Selected;
    // A screen reader says which picture the arrows reached.
    if (QAccessible::isActive() && hasFocus()) {
        QAccessibleEvent focus(this, QAccessible::Focus);
        focus.setChild(index);
        QAccessible::updateAccessibility(&focus);
    }
    // Scrolled so that the entry shows.
    const int row = index / 2;
    int top = CurrentTopRow();
    if (row < top) top = row;
    else if (row >= top + kCells / 2) top = row - kCells / 2 + 1;
    if (top != CurrentTopRow()) {
        Scroll(ThumbPosition, top);
        return; // redrawn
    }
    RedrawThumbnails();
}

void CThumbnailList::keyPressEvent(QKeyEvent* event)
{
    const int count = static_cast<int>(CurrentList().size());
    const int current = SelectedIndex();
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    auto moveTo = [&](int index) {
        SelectIndex(current < 0 ? 0 : index, extend);
        event->accept();
    };
    // Ctrl+arrows are not the list's: they go on to the window (the simulated stage moves).
    const bool arrow = event->key() == Qt::Key_Left || event->key() == Qt::Key_Right || event->key() == Qt::Key_Up ||
                       event->key() == Qt::Key_Down;
    if (arrow && (event->modifiers() & Qt::ControlModifier)) {
        event->ignore();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Left: moveTo(current - 1); return;
    case Qt::Key_Right: moveTo(current + 1); return;
    case Qt::Key_Up: moveTo(current - 2); return;
    case Qt::Key_Down: moveTo(current + 2); return;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        if (event->modifiers() & Qt::ControlModifier) {
            emit listRequested(event->key() == Qt::Key_PageUp);
            event->accept();
            return;
        }
        moveTo(current + (event->key() == Qt::Key_PageUp ? -kCells : kCells));
        return;
    case Qt::Key_Home: moveTo(0); return;
    case Qt::Key_End: moveTo(count - 1); return;
    case Qt::Key_Space:
        if ((event->modifiers() & Qt::ControlModifier) && showingPictures_ && current >= 0) {
            CurrentList()[static_cast<std::size_t>(current)].flags ^= Selected;
            RedrawThumbnails();
            event->accept();
            return;
        }
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (GetSelectedEntry()) emit openRequested();
        event->accept();
        return;
    case Qt::Key_Delete:
        if (GetSelectedEntry()) emit deleteRequested();
        event->accept();
        return;
    default: break;
    }
    QWidget::keyPressEvent(event); // the window's keys (F2, ...) go on to it
}

// Only the frame changes with the focus: nothing is decoded again (a click gives the focus
// before it selects, and a redraw in between would drop vanished files under the click).
void CThumbnailList::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    update();
}

void CThumbnailList::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    update();
}

void CThumbnailList::DrawFocusFrame(QPainter& painter) const
{
    // The keyboard is on the list: a frame just inside its cells' area.
    if (!hasFocus()) return;
    painter.setPen(QPen(QColor(90, 170, 255), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(2, 1, width() - kScrollBarWidth - 5, height() - 4));
}

void CThumbnailList::Scroll(int action, int thumbPosition)
{
    int pos = CurrentTopRow();
    switch (action) {
    case LineUp: pos -= 1; break;
    case LineDown: pos += 1; break;
    case PageUp: pos -= 5; break;
    case PageDown: pos += 5; break;
    case ThumbPosition: pos = thumbPosition; break;
    case Top: pos = 0; break;
    case Bottom: pos = scrollBar_->maximum(); break;
    default: return;
    }
    pos = std::clamp(pos, 0, scrollBar_->maximum());
    updatingScrollBar_ = true;
    scrollBar_->setValue(pos);
    updatingScrollBar_ = false;
    CurrentTopRowRef() = pos;
    RedrawThumbnails();
}

void CThumbnailList::SetUpSurfaces()
{
    // The cells come from the client area left of the scroll bar.
    const int w = width() - kScrollBarWidth;
    const int h = height();
    cellWidth_ = (w - 28) / 2;
    cellHeight_ = (h - 38) / 5;
    for (int k = 0; k < kCells; ++k) {
        const int left = 11 + (cellWidth_ + 7) * (k % 2);
        const int top = 4 + (cellHeight_ + 7) * (k / 2);
        cells_[static_cast<std::size_t>(k)] = QRect(left, top, cellWidth_, cellHeight_);
    }
    canvas_ = resources::LoadBitmapImage(IDB_LIST_PICTURES, 1).convertToFormat(QImage::Format_RGB32);
    if (canvas_.isNull()) canvas_ = QImage(220, 420, QImage::Format_RGB32);
    surfacesReady_ = true;
}

CThumbnailList::Decode CThumbnailList::DecodeEntry(const MediaEntry& entry)
{
    if (DropIfMissing(entry.path)) return Decode::Vanished;
    if (!decodeBuffer_) decodeBuffer_ = std::make_unique<DecodeBuffer>();
    bool ok = false;
    if (showingPictures_) {
        const std::optional<PictureFormat> format = PictureFormatOf(entry.path);
        if (format == PictureFormat::Jpeg) ok = ReadJpegAsDib(entry.path, *decodeBuffer_) == 0;
        else if (format == PictureFormat::Tiff || format == PictureFormat::Png)
            ok = LoadPictureAsDib(entry.path, *decodeBuffer_);
        else ok = LoadBitmapFileAsDib(entry.path, *decodeBuffer_);
    } else {
        // A recording cut short (a kill, a full disk) gets its index back the first time
        // it is met, so every player reads its length.
        if (IsCutShortAvi(entry.path) && !unrepairable_.contains(entry.path)) {
            QString error;
            if (RepairCutShortAvi(entry.path, &error) == AviRepairResult::Failed) {
                // Left as it is (it still plays in our player); the user hears why, once.
                qCWarning(lcMedia) << "could not repair" << entry.path << ":" << error;
                unrepairable_.insert(entry.path);
                QTimer::singleShot(0, this, [this, path = entry.path, error] {
                    ShowMessageBox(
                        this,
                        LangText("RepairFail", 100,
                                 "This recording was cut short and could not be repaired; it is left as it is:") +
                            QStringLiteral("\n%1\n%2").arg(path, error),
                        LangText("MsgTitle", 30, "QRV-DM500"), MessageButtons::Ok, MessageIcon::Warning);
                });
            }
        }
        ok = LoadVideoFirstFrameAsDib(entry.path, *decodeBuffer_);
    }
    return ok ? Decode::Drawn : Decode::Failed;
}

void CThumbnailList::DrawCornerMark(QImage& surface, const QRect& cell) const
{
    const int l = cell.left() - 2, t = cell.top() - 2;
    const int r = cell.left() + cell.width() + 2, b = cell.top() + cell.height() + 2;
    QPainter p(&surface);
    // The inverse of the mark pen's colour, drawn dotted.
    const QColor inverse(255 - kMarkPen.red(), 255 - kMarkPen.green(), 255 - kMarkPen.blue());
    p.setPen(QPen(inverse, 2, Qt::DotLine, Qt::FlatCap));
    p.drawLine(r, t + cellHeight_ * 3 / 4, r, b);
    p.drawLine(l + cellWidth_ * 3 / 4, b, r - 2, b);
}

void CThumbnailList::DrawPlaceholder(QImage& surface, const QRect& cell) const
{
    QPainter p(&surface);
    p.fillRect(cell, QColor(48, 48, 48));
    p.setPen(QColor(140, 140, 140));
    p.drawRect(cell.adjusted(0, 0, -1, -1));
    QFont font = p.font();
    font.setPixelSize(11);
    p.setFont(font);
    p.drawText(cell.adjusted(2, 2, -2, -2), Qt::AlignCenter | Qt::TextWordWrap,
               LangText("CannotShow", 40, "cannot show"));
}

void CThumbnailList::DrawSelectionFrame(QImage& surface) const
{
    QPainter p(&surface);
    p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    p.setPen(QPen(kSelectionPen, 2, Qt::DotLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    const auto& list = CurrentList();
    const int start = CurrentTopRow() * 2;
    for (int k = 0; k < kCells; ++k) {
        const int index = start + k;
        if (index >= static_cast<int>(list.size()) || !(list[static_cast<std::size_t>(index)].flags & Selected))
            continue;
        const QRect& cell = cells_[static_cast<std::size_t>(k)];
        const int l = cell.left() - 2, t = cell.top() - 2;
        const int r = cell.left() + cell.width() + 2, b = cell.top() + cell.height() + 2;
        p.drawRect(QRect(l, t, r + 1 - l - 1, b + 1 - t - 1));
    }
}

void CThumbnailList::RedrawThumbnails()
{
    if (!surfacesReady_) return; // the first paint sets up and draws
    // Composed in the list's own pixels (thumbnails are stretched into them): the plain bitmap.
    work_ = resources::LoadBitmapImage(showingPictures_ ? IDB_LIST_PICTURES : IDB_LIST_VIDEOS, 1)
                .convertToFormat(QImage::Format_RGB32);
    if (work_.isNull()) {
        work_ = QImage(220, 420, QImage::Format_RGB32);
        work_.fill(Qt::black);
    }
    const auto& list = CurrentList();
    const int start = CurrentTopRow() * 2;
    const int count = static_cast<int>(list.size());
    const int end = count - start > kCells ? start + kCells : count;
    // Every entry keeps its own cell: one that cannot be decoded shows a placeholder, so a
    // click, Open or Delete on a cell always means the file drawn there.
    int c = 0;
    for (int i = std::max(0, start); i < end && i - start < kCells; ++i) {
        const MediaEntry entry = list[static_cast<std::size_t>(i)];
        const Decode result = DecodeEntry(entry);
        // A vanished file was dropped and the list redrawn; that drawing stands.
        if (result == Decode::Vanished) return;
        const QRect& cell = cells_[static_cast<std::size_t>(i - start)];
        if (result == Decode::Failed || !StretchDibOnto(*decodeBuffer_, work_, cell)) {
            DrawPlaceholder(work_, cell);
            continue;
        }
        if ((entry.flags & New) && !FileNameOf(entry.path).startsWith(QLatin1Char('A'))) DrawCornerMark(work_, cell);
        ++c;
    }
    drawnCells_ = c;
    canvas_ = work_.copy(0, 0, canvas_.width(), canvas_.height());
    DrawSelectionFrame(canvas_);
    update();
}

void CThumbnailList::paintEvent(QPaintEvent* event)
{
    if (!surfacesReady_) {
        SetUpSurfaces();
        UpdateScrollBar();
        RedrawThumbnails();
    }
    QPainter painter(this);
    painter.drawImage(event->rect().topLeft(), canvas_, event->rect());
    DrawFocusFrame(painter);
}

void CThumbnailList::wheelEvent(QWheelEvent* event)
{
    // One row per notch, as the scroll bar's arrows; a touchpad's small steps add up.
    wheelRemainder_ += event->angleDelta().y();
    while (wheelRemainder_ >= 120) {
        wheelRemainder_ -= 120;
        Scroll(LineUp);
    }
    while (wheelRemainder_ <= -120) {
        wheelRemainder_ += 120;
        Scroll(LineDown);
    }
    event->accept();
}

int CThumbnailList::EntryAt(const QPoint& point) const
{
    const int start = CurrentTopRow() * 2;
    const int inView = std::min(kCells, std::max(0, static_cast<int>(CurrentList().size()) - start));
    for (int k = 0; k < inView; ++k)
        if (cells_[static_cast<std::size_t>(k)].contains(point)) return start + k;
    return -1;
}

bool CThumbnailList::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int index = EntryAt(help->pos());
        if (index >= 0)
            QToolTip::showText(help->globalPos(), FileNameOf(CurrentList()[static_cast<std::size_t>(index)].path),
                               this);
        else QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

void CThumbnailList::resizeEvent(QResizeEvent*)
{
    scrollBar_->setGeometry(width() - kScrollBarWidth, 0, kScrollBarWidth, height());
}
