#pragma once
// The panel of captured pictures or recorded videos: a 2 x 5 grid of thumbnails with a
// vertical scroll bar, one list per folder. One entry per list is the selected one (what
// Open, Save as, Delete and E-Mail act on); Ctrl- and Shift-clicks add more pictures to the
// selection, for commands that combine several. Thumbnails are
// decoded anew on every redraw; nothing is cached.

#include "media/ThumbnailDecoder.h"

#include "media/PictureMetadata.h"
#include <QImage>
#include <QSet>
#include <QString>
#include <QStringList>

#include <QWidget>

#include <functional>

#include <array>
#include <memory>
#include <vector>

class QPainter;
class QScrollBar;

enum MediaEntryFlags : std::uint32_t { Listed = 1, New = 2, Selected = 4 };

struct MediaEntry {
    QString path;
    std::uint32_t flags = 0;
};

class CThumbnailList : public QWidget {
    Q_OBJECT
public:
    static constexpr int kCells = 10;
    static constexpr int kScrollBarWidth = 17;

    CThumbnailList(QString pictureFolder, QString videoFolder, QWidget* parent = nullptr);
    ~CThumbnailList() override;

    // Filling.
    void AddPictureFile(const QString& path);
    void AddVideoFile(const QString& path);
    void AddCapturedPicture(const QString& path);
    void AddRecordedVideo(const QString& path);

    // Which list is shown: pictures (at first) or videos.
    bool ShowingPictures() const { return showingPictures_; }
    void SetShowingPictures(bool pictures) { showingPictures_ = pictures; }

    // Selection and queries, on the shown list.
    // A click: the entry under the point becomes the one selected. In the picture list,
    // with Ctrl the entry is added to the selection or taken out of it, with Shift the
    // entries from the selected one to it are added. 1 when there was an entry there.
    int SelectAt(const QPoint& screenPoint, Qt::KeyboardModifiers modifiers = {});
    bool IsSelectedAt(const QPoint& screenPoint) const;
    // Every selected entry of the shown list, in list order.
    QStringList SelectedPaths() const;
    const MediaEntry* FindEntry(std::uint32_t mask) const;
    const MediaEntry* GetSelectedEntry() const;
    std::uint32_t GetSelectedPath(QString& path) const;
    void ClearSelection(bool pictures);
    void RemoveEntry(const QString& path);
    int DropIfMissing(const QString& path);
    void DeleteSelected();
    void DeleteAll();
    // The selected entry was saved elsewhere: it is no longer marked as new.
    void SelectedWasSaved();

    // Drawing and scrolling.
    void RedrawThumbnails();
    void UpdateScrollBar();
    void Scroll(int action, int thumbPosition = 0);

    // Read access for the main window and for tests.
    const std::vector<MediaEntry>& Pictures() const { return pictures_; }
    const std::vector<MediaEntry>& Videos() const { return videos_; }
    int TopRow() const { return CurrentTopRow(); }
    int PictureTopRow() const { return pictureTopRow_; }
    int VideoTopRow() const { return videoTopRow_; }
    int SelectedIndex() const { return showingPictures_ ? pictureSelected_ : videoSelected_; }
    const std::array<QRect, kCells>& Cells() const { return cells_; }
    QScrollBar* ScrollBar() const { return scrollBar_; }
    QImage Canvas() const { return canvas_; }
    // Number of cells that received a decoded thumbnail (not a placeholder) at the last redraw.
    int DrawnCells() const { return drawnCells_; }

    enum ScrollAction { LineUp, LineDown, PageUp, PageDown, ThumbPosition, Top, Bottom, EndScroll };

    // The keyboard: the arrows move the selection (Shift adds to it in the picture list),
    // Ctrl+Space takes the selected entry in or out; Enter asks to open it, Delete to delete it;
    // Ctrl+Page Up and Ctrl+Page Down ask for the picture or the video list.
    void SelectIndex(int index, bool extend);

signals:
    void openRequested();
    void deleteRequested();
    // Ctrl+Page Up / Ctrl+Page Down: the other list (its tab is the window's).
    void listRequested(bool pictures);

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool event(QEvent* event) override; // the file name of the cell under the pointer as its tooltip
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QSet<QString> unrepairable_; // cut-short recordings whose repair failed: not tried again, told once
    std::vector<MediaEntry>& CurrentList() { return showingPictures_ ? pictures_ : videos_; }
    const std::vector<MediaEntry>& CurrentList() const { return showingPictures_ ? pictures_ : videos_; }
    int& CurrentTopRowRef() { return showingPictures_ ? pictureTopRow_ : videoTopRow_; }
    int CurrentTopRow() const { return showingPictures_ ? pictureTopRow_ : videoTopRow_; }
    int& CurrentSelectedRef() { return showingPictures_ ? pictureSelected_ : videoSelected_; }

    void SetUpSurfaces();
    // False when the entry's file vanished (it was dropped and the list redrawn).
    enum class Decode { Drawn, Failed, Vanished };
    Decode DecodeEntry(const MediaEntry& entry);
    void DrawCornerMark(QImage& surface, const QRect& cell) const;
    void DrawSelectionFrame(QImage& surface) const;
    void DrawFocusFrame(QPainter& painter) const;
    // A plain frame marked "cannot show", for an entry whose file does not decode.
    void DrawPlaceholder(QImage& surface, const QRect& cell) const;
    // The entry drawn in the cell at `point` (widget coordinates), -1 outside every cell.
    int EntryAt(const QPoint& point) const;
    static int TopRowRoundedDown(int count);
    static int TopRowRoundedUp(int count);

    bool showingPictures_ = true;
    QString pictureFolder_;
    QString videoFolder_;
    std::vector<MediaEntry> pictures_;
    std::vector<MediaEntry> videos_;
    int pictureTopRow_ = 0;
    int videoTopRow_ = 0;
    int pictureSelected_ = -1;
    int videoSelected_ = -1;
    std::array<QRect, kCells> cells_{};
    int cellWidth_ = 0;
    int cellHeight_ = 0;
    bool surfacesReady_ = false;
    QImage canvas_;
    QImage work_;
    std::unique_ptr<DecodeBuffer> decodeBuffer_;
    QScrollBar* scrollBar_ = nullptr;
    bool updatingScrollBar_ = false;
    int drawnCells_ = 0;
    int wheelRemainder_ = 0;
};
