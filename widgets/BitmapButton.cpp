#include "widgets/BitmapButton.h"

#include "resources/Resources.h"

#include <QImage>
#include <QPainter>

namespace {
QPixmap Greyed(const QPixmap& source)
{
    QImage image = source.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grey = qGray(line[x]);
            const int faded = 96 + grey / 3;
            line[x] = qRgba(faded, faded, faded, qAlpha(line[x]));
        }
    }
    return QPixmap::fromImage(image);
}
} // namespace

CBitmapButton::CBitmapButton(QWidget* parent) : QAbstractButton(parent)
{
    // Reached with Tab (and pressed with Space), never focused by a click: a click on a
    // button leaves the keys where they were.
    setFocusPolicy(Qt::TabFocus);
}

void CBitmapButton::LoadBitmaps(const QPixmap& normal, const QPixmap& pressed)
{
    normal_ = normal;
    pressed_ = pressed.isNull() ? normal : pressed;
    disabled_ = Greyed(normal_);
    setFixedSize(normal_.deviceIndependentSize().toSize()); // laid out as drawn, however many pixels
    update();
}

const QPixmap& CBitmapButton::CurrentBitmap() const
{
    if (!isEnabled()) return disabled_;
    return isDown() ? pressed_ : normal_;
}

void CBitmapButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, CurrentBitmap());
    if (hasFocus()) {
        // The keyboard's place: a dotted frame in both a light and a dark line, so it shows
        // on any artwork.
        const QRect frame = rect().adjusted(1, 1, -2, -2);
        painter.setPen(QPen(Qt::white, 1, Qt::SolidLine));
        painter.drawRect(frame);
        painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
        painter.drawRect(frame);
    }
}

void CLatchButton::Latch()
{
    latched_ = true;
    update();
}

void CLatchButton::Unlatch()
{
    latched_ = false;
    update();
}

const QPixmap& CLatchButton::CurrentBitmap() const
{
    if (!isEnabled()) return disabled_;
    return latched_ ? pressed_ : normal_;
}

CBitmapButton* CreateArtworkButton(QWidget* parent, int bitmap, QPoint at, bool latch)
{
    CBitmapButton* button = latch ? new CLatchButton(parent) : new CBitmapButton(parent);
    button->LoadBitmaps(resources::LoadBitmap(bitmap), resources::LoadBitmap(bitmap + IDB_PRESSED_OFFSET));
    button->move(at);
    return button;
}
