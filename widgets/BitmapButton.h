#pragma once
// Push buttons drawn from bitmaps and sized to them: the first bitmap normally, the second
// while pressed; a greyed first bitmap while disabled. Tab reaches them (a frame shows it);
// their accessible name is what their tooltip says.

#include <QAbstractButton>
#include <QPixmap>

class CBitmapButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit CBitmapButton(QWidget* parent = nullptr);

    // Loads the normal and pressed bitmaps and sizes the button to the first.
    void LoadBitmaps(const QPixmap& normal, const QPixmap& pressed);
    QSize sizeHint() const override { return normal_.deviceIndependentSize().toSize(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    // The bitmap to show now.
    virtual const QPixmap& CurrentBitmap() const;

    QPixmap normal_;
    QPixmap pressed_;
    QPixmap disabled_;
};

// A bitmap button whose look follows only Latch and Unlatch (second bitmap while latched),
// never the mouse: it shows a state, such as "recording", rather than a press.
class CLatchButton : public CBitmapButton {
    Q_OBJECT
public:
    using CBitmapButton::CBitmapButton;

    void Latch();
    void Unlatch();
    bool IsLatched() const { return latched_; }

protected:
    const QPixmap& CurrentBitmap() const override;

private:
    bool latched_ = false;
};

// A button of the artwork with resource ids `bitmap` (normal) and `bitmap` + 200 (pressed),
// placed at `at` on `parent`; a latch button when `latch`.
CBitmapButton* CreateArtworkButton(QWidget* parent, int bitmap, QPoint at, bool latch);
