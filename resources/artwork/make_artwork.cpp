// Draws the program's artwork (skins, buttons, icons) and synthesises its sounds, at the
// exact sizes the windows lay them out for, and writes a Qt resource file listing them. The
// bitmaps are drawn twice: as laid out ("140.png") and with twice the pixels for screens
// scaled to 150 % and more ("140@2x.png"), from the same drawing code.
// Run at build time: make_artwork <output folder>.

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

namespace {

using Glyph = std::function<void(QPainter&, const QRectF&)>;

QString g_out;
QStringList g_entries;
int g_scale = 1; // pixels per laid-out pixel of the bitmaps being drawn

const QColor kPanelTop(58, 70, 86);
const QColor kPanelBottom(30, 37, 47);
const QColor kAccent(90, 170, 230);
const QColor kGlyph(236, 242, 248);

void Save(const QImage& image, const QString& name)
{
    // The 2x bitmaps carry Qt's "@2x" before the extension.
    QString file = name;
    if (g_scale > 1 && file.startsWith(QLatin1String("bitmap/")))
        file.insert(file.lastIndexOf(QLatin1Char('.')), QStringLiteral("@%1x").arg(g_scale));
    image.save(g_out + "/" + file);
    g_entries << file;
}

// A bitmap laid out w x h, with g_scale pixels to each: painted in laid-out coordinates.
QImage NewImage(int w, int h)
{
    QImage image(w * g_scale, h * g_scale, QImage::Format_RGB32);
    image.setDevicePixelRatio(g_scale);
    image.fill(Qt::black);
    return image;
}

QFont Font(int pixelSize, bool bold = false)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

void Bevel(QPainter& p, const QRectF& r, bool sunken)
{
    const QColor light(255, 255, 255, 60), dark(0, 0, 0, 140);
    p.setPen(QPen(sunken ? dark : light, 1));
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(QPen(sunken ? light : dark, 1));
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
}

void PanelGradient(QPainter& p, const QRectF& r, QColor top = kPanelTop, QColor bottom = kPanelBottom)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.fillRect(r, g);
}

// ---- glyphs ---------------------------------------------------------------------------

QPen GlyphPen(double width, QColor colour = kGlyph)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void CameraGlyph(QPainter& p, const QRectF& r)
{
    const double u = r.width() / 16;
    p.setPen(Qt::NoPen);
    p.setBrush(kGlyph);
    QPainterPath body;
    body.addRoundedRect(QRectF(r.left() + 1 * u, r.top() + 4 * u, 14 * u, 10 * u), 1.5 * u, 1.5 * u);
    body.addRect(QRectF(r.left() + 5 * u, r.top() + 2.5 * u, 6 * u, 2 * u));
    p.drawPath(body);
    p.setBrush(QColor(40, 60, 80));
    p.drawEllipse(QPointF(r.left() + 8 * u, r.top() + 9 * u), 3.6 * u, 3.6 * u);
    p.setBrush(kAccent);
    p.drawEllipse(QPointF(r.left() + 8 * u, r.top() + 9 * u), 2.2 * u, 2.2 * u);
}

void FilmGlyph(QPainter& p, const QRectF& r)
{
    const double u = r.width() / 16;
    p.setPen(Qt::NoPen);
    p.setBrush(kGlyph);
    p.drawRoundedRect(QRectF(r.left() + 1 * u, r.top() + 4 * u, 10 * u, 9 * u), 1.2 * u, 1.2 * u);
    QPolygonF lens{QPointF(r.left() + 11 * u, r.top() + 7.5 * u), QPointF(r.left() + 15 * u, r.top() + 5 * u),
                   QPointF(r.left() + 15 * u, r.top() + 12 * u), QPointF(r.left() + 11 * u, r.top() + 9.5 * u)};
    p.drawPolygon(lens);
    p.setBrush(QColor(220, 60, 60));
    p.drawEllipse(QPointF(r.left() + 4 * u, r.top() + 7 * u), 1.4 * u, 1.4 * u);
}

void ClockGlyph(QPainter& p, const QRectF& r)
{
    const double u = r.width() / 16;
    const QPointF c(r.left() + 8 * u, r.top() + 8.5 * u);
    p.setPen(GlyphPen(1.4 * u));
    p.setBrush(QColor(40, 60, 80));
    p.drawEllipse(c, 6.2 * u, 6.2 * u);
    p.setPen(GlyphPen(1.3 * u));
    p.drawLine(c, c + QPointF(0, -4.2 * u));
    p.drawLine(c, c + QPointF(3 * u, 1.2 * u));
}

void EnvelopeGlyph(QPainter& p, const QRectF& r)
{
    const double u = r.width() / 16;
    const QRectF e(r.left() + 1.5 * u, r.top() + 4 * u, 13 * u, 9 * u);
    p.setPen(GlyphPen(1.1 * u, QColor(40, 60, 80)));
    p.setBrush(kGlyph);
    p.drawRect(e);
    p.drawPolyline(QPolygonF{e.topLeft(), QPointF(e.center().x(), e.top() + 5 * u), e.topRight()});
}

void DiskGlyph(QPainter& p, const QRectF& r)
{
    const double u = r.width() / 16;
    const QRectF d(r.left() + 2 * u, r.top() + 2 * u, 12 * u, 12 * u);
    p.setPen(Qt::NoPen);
    p.setBrush(kGlyph);
    p.drawRoundedRect(d, 1.2 * u, 1.2 * u);
    p.setBrush(QColor(40, 60, 80));
    p.drawRect(QRectF(d.left() + 2.5 * u, d.top(), 7 * u, 4 * u));
    p.setBrush(kAccent);
    p.drawRect(QRectF(d.left() + 2 * u, d.top() + 6.5 * u, 8 * u, 5.5 * u));
}

void EyeGlyph(QPainter& p, const QRectF& r)
{
    const double u = r.width() / 16;
    QPainterPath eye;
    eye.moveTo(r.left() + 1 * u, r.top() + 8 * u);
    eye.quadTo(r.left() + 8 * u, r.top() + 1 * u, r.left() + 15 * u, r.top() + 8 * u);
    eye.quadTo(r.left() + 8 * u, r.top() + 15 * u, r.left() + 1 * u, r.top() + 8 * u);
    p.setPen(Qt::NoPen);
    p.setBrush(kGlyph);
    p.drawPath(eye);
    p.setBrush(kAccent);
    p.drawEllipse(QPointF(r.left() + 8 * u, r.top() + 8 * u), 2.6 * u, 2.6 * u);
}

void GearGlyph(QPainter& p, const QRectF& r)
{
    const QPointF c = r.center();
    const double radius = std::min(r.width(), r.height()) / 2 - 0.5;
    p.setPen(Qt::NoPen);
    p.setBrush(kGlyph);
    p.drawEllipse(c, radius * 0.8, radius * 0.8);
    p.setBrush(QColor(40, 60, 80));
    p.drawEllipse(c, radius * 0.3, radius * 0.3);
}

void TriangleGlyph(QPainter& p, const QRectF& r, bool right, double x0)
{
    const double h = r.height();
    const double w = h * 0.5;
    QPolygonF t;
    if (right) t << QPointF(x0, r.top()) << QPointF(x0 + w, r.center().y()) << QPointF(x0, r.bottom());
    else t << QPointF(x0 + w, r.top()) << QPointF(x0, r.center().y()) << QPointF(x0 + w, r.bottom());
    p.drawPolygon(t);
}

Glyph PlayerGlyph(int kind)
{
    return [kind](QPainter& p, const QRectF& r) {
        const QRectF g = r.adjusted(r.width() * 0.22, r.height() * 0.25, -r.width() * 0.22, -r.height() * 0.25);
        p.setPen(Qt::NoPen);
        p.setBrush(kGlyph);
        const double bar = std::max(1.5, g.width() * 0.14);
        switch (kind) {
        case 1: // to the start
            p.drawRect(QRectF(g.left(), g.top(), bar, g.height()));
            TriangleGlyph(p, g, false, g.left() + bar);
            TriangleGlyph(p, g, false, g.left() + bar + g.height() * 0.45);
            break;
        case 2: // back
            TriangleGlyph(p, g, false, g.left());
            TriangleGlyph(p, g, false, g.left() + g.height() * 0.45);
            break;
        case 3: // forward
            TriangleGlyph(p, g, true, g.left());
            TriangleGlyph(p, g, true, g.left() + g.height() * 0.45);
            break;
        case 4: // to the end
            TriangleGlyph(p, g, true, g.left());
            TriangleGlyph(p, g, true, g.left() + g.height() * 0.45);
            p.drawRect(QRectF(g.right() - bar, g.top(), bar, g.height()));
            break;
        case 5: // play
            TriangleGlyph(p, QRectF(g.left(), g.top() - 1, g.width(), g.height() + 2), true,
                          g.center().x() - g.height() * 0.2);
            break;
        case 6: // stop
            p.drawRect(QRectF(g.center().x() - g.height() / 2, g.top(), g.height(), g.height()));
            break;
        case 7: // pause
            p.drawRect(QRectF(g.center().x() - bar * 2, g.top(), bar * 1.4, g.height()));
            p.drawRect(QRectF(g.center().x() + bar * 0.6, g.top(), bar * 1.4, g.height()));
            break;
        }
    };
}

void FolderGlyph(QPainter& p, const QRectF& r)
{
    const double u = r.width() / 16;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(240, 200, 90));
    QPainterPath f;
    f.moveTo(r.left() + 1.5 * u, r.top() + 3.5 * u);
    f.lineTo(r.left() + 6 * u, r.top() + 3.5 * u);
    f.lineTo(r.left() + 7.5 * u, r.top() + 5 * u);
    f.lineTo(r.left() + 14.5 * u, r.top() + 5 * u);
    f.lineTo(r.left() + 14.5 * u, r.top() + 13.5 * u);
    f.lineTo(r.left() + 1.5 * u, r.top() + 13.5 * u);
    f.closeSubpath();
    p.drawPath(f);
    p.setBrush(QColor(255, 224, 130));
    p.drawRect(QRectF(r.left() + 1.5 * u, r.top() + 7 * u, 13 * u, 6.5 * u));
}

void PencilGlyph(QPainter& p, const QRectF& r)
{
    const double u = r.width() / 16;
    p.save();
    p.translate(r.left() + 8 * u, r.top() + 8 * u);
    p.rotate(-45);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 200, 70));
    p.drawRect(QRectF(-5 * u, -1.6 * u, 9 * u, 3.2 * u));
    p.setBrush(QColor(240, 150, 160));
    p.drawRect(QRectF(4 * u, -1.6 * u, 2 * u, 3.2 * u));
    p.setBrush(QColor(235, 215, 180));
    p.drawPolygon(QPolygonF{QPointF(-5 * u, -1.6 * u), QPointF(-7.5 * u, 0), QPointF(-5 * u, 1.6 * u)});
    p.restore();
}

void RulerGlyph(QPainter& p, const QRectF& r)
{
    const double u = r.width() / 16;
    p.save();
    p.translate(r.left() + 8 * u, r.top() + 8 * u);
    p.rotate(-35);
    p.setPen(GlyphPen(0.8 * u, QColor(60, 60, 60)));
    p.setBrush(QColor(250, 225, 120));
    p.drawRect(QRectF(-7 * u, -2.2 * u, 14 * u, 4.4 * u));
    for (int i = -5; i <= 5; i += 2)
        p.drawLine(QPointF(i * u, -2.2 * u), QPointF(i * u, (i % 4 == 1 ? 0.5 : -0.6) * u));
    p.restore();
}

void PenStyleGlyph(QPainter& p, const QRectF& r)
{
    const double u = r.width() / 16;
    QPen pen = GlyphPen(1.5 * u);
    p.setPen(pen);
    p.drawLine(QPointF(r.left() + 2 * u, r.top() + 4 * u), QPointF(r.left() + 14 * u, r.top() + 4 * u));
    pen.setStyle(Qt::DashLine);
    pen.setCapStyle(Qt::FlatCap);
    p.setPen(pen);
    p.drawLine(QPointF(r.left() + 2 * u, r.top() + 8 * u), QPointF(r.left() + 14 * u, r.top() + 8 * u));
    pen.setStyle(Qt::SolidLine);
    pen.setColor(QColor(230, 70, 70));
    pen.setWidthF(2.6 * u);
    p.setPen(pen);
    p.drawLine(QPointF(r.left() + 2 * u, r.top() + 12.5 * u), QPointF(r.left() + 14 * u, r.top() + 12.5 * u));
}

void LetterGlyph(QPainter& p, const QRectF& r)
{
    p.setPen(kGlyph);
    p.setFont(Font(static_cast<int>(r.height() * 0.95), true));
    p.drawText(r, Qt::AlignCenter, QStringLiteral("A"));
}

void ArrowGlyph(QPainter& p, const QRectF& r, bool undo)
{
    const double u = r.width() / 16;
    p.save();
    if (!undo) {
        p.translate(r.left() + r.right(), 0);
        p.scale(-1, 1);
    }
    QPainterPath arc;
    arc.moveTo(r.left() + 4 * u, r.top() + 7 * u);
    arc.cubicTo(r.left() + 8 * u, r.top() + 3 * u, r.left() + 15 * u, r.top() + 5 * u, r.left() + 12 * u,
                r.top() + 13 * u);
    p.setPen(GlyphPen(1.8 * u));
    p.setBrush(Qt::NoBrush);
    p.drawPath(arc);
    p.setPen(Qt::NoPen);
    p.setBrush(kGlyph);
    p.drawPolygon(QPolygonF{QPointF(r.left() + 1.5 * u, r.top() + 4 * u), QPointF(r.left() + 7 * u, r.top() + 4.5 * u),
                            QPointF(r.left() + 3.5 * u, r.top() + 10 * u)});
    p.restore();
}

// ---- buttons ---------------------------------------------------------------------------

QImage Button(int w, int h, const Glyph& glyph, bool pressed, QColor face = QColor(74, 96, 122))
{
    QImage image = NewImage(w, h);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(0, 0, w, h);
    PanelGradient(p, r, pressed ? face.darker(150) : face.lighter(125), pressed ? face.darker(110) : face.darker(115));
    p.setRenderHint(QPainter::Antialiasing, false);
    Bevel(p, r.adjusted(0, 0, -1, -1), pressed);
    p.setRenderHint(QPainter::Antialiasing);
    const double inset = std::min(w, h) * 0.15;
    QRectF g = r.adjusted(inset, inset, -inset, -inset);
    if (pressed) g.translate(1, 1);
    glyph(p, g);
    return image;
}

void ButtonPair(int normal, int down, int w, int h, const Glyph& glyph, QColor face = QColor(74, 96, 122))
{
    Save(Button(w, h, glyph, false, face), QString("bitmap/%1.png").arg(normal));
    Save(Button(w, h, glyph, true, face), QString("bitmap/%1.png").arg(down));
}

// ---- backgrounds -----------------------------------------------------------------------

QImage Skin()
{
    QImage image = NewImage(868, 580);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    PanelGradient(p, QRectF(0, 0, 868, 580));
    // Button tray, top left.
    PanelGradient(p, QRectF(4, 4, 228, 42), QColor(84, 100, 120), QColor(52, 64, 80));
    p.setRenderHint(QPainter::Antialiasing, false);
    Bevel(p, QRectF(4, 4, 227, 41), false);
    // Preview frame: a sunken bezel around the 610 x 480 live picture at (249, 34).
    p.fillRect(QRect(245, 30, 618, 488), QColor(16, 20, 26));
    Bevel(p, QRectF(245, 30, 617, 487), true);
    p.fillRect(QRect(249, 34, 610, 480), Qt::black);
    // Status strip below the preview.
    PanelGradient(p, QRectF(249, 519, 610, 54), QColor(44, 53, 66), QColor(30, 37, 47));
    Bevel(p, QRectF(249, 519, 609, 53), true);
    // The product line and the hint under the picture are the program's to draw, in the
    // user's language.
    return image;
}

QImage Tab(bool picturesActive)
{
    QImage image = NewImage(222, 491);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    PanelGradient(p, QRectF(0, 0, 222, 491));
    // Tab areas in this bitmap's coordinates (it is drawn at (7, 51)).
    const QRectF pictures(3, 6, 100, 56), videos(117, 5, 100, 58);
    // The tabs' words are drawn by the program, in the user's language.
    auto drawTab = [&](const QRectF& r, bool active, const Glyph& glyph) {
        QPainterPath path;
        path.addRoundedRect(r.adjusted(0, 0, 0, 12), 7, 7);
        p.setPen(QPen(active ? kAccent : QColor(70, 84, 102), 1.5));
        QLinearGradient g(r.topLeft(), r.bottomLeft());
        g.setColorAt(0, active ? QColor(96, 128, 160) : QColor(58, 70, 86));
        g.setColorAt(1, active ? QColor(60, 86, 114) : QColor(40, 48, 60));
        p.setBrush(g);
        p.drawPath(path);
        glyph(p, QRectF(r.center().x() - 11, r.top() + 7, 22, 22));
    };
    drawTab(pictures, picturesActive, CameraGlyph);
    drawTab(videos, !picturesActive, FilmGlyph);
    // Frame of the list (the list itself covers (1, 69) .. (221, 489)).
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(QRect(0, 66, 222, 425), QColor(16, 20, 26));
    Bevel(p, QRectF(0, 66, 221, 424), true);
    return image;
}

QImage ListBackground(bool pictures)
{
    QImage image = NewImage(220, 420);
    QPainter p(&image);
    PanelGradient(p, QRectF(0, 0, 220, 420), pictures ? QColor(40, 48, 60) : QColor(44, 42, 56),
                  pictures ? QColor(26, 31, 40) : QColor(28, 27, 38));
    p.setPen(QColor(255, 255, 255, 10));
    for (int y = 0; y < 420; y += 4) p.drawLine(0, y, 219, y);
    return image;
}

QImage Readout(int w, int h, QColor top, QColor bottom)
{
    QImage image = NewImage(w, h);
    QPainter p(&image);
    PanelGradient(p, QRectF(0, 0, w, h), top, bottom);
    Bevel(p, QRectF(0, 0, w - 1, h - 1), true);
    return image;
}

QImage PlayerBackground()
{
    QImage image = NewImage(593, 479);
    QPainter p(&image);
    PanelGradient(p, QRectF(0, 0, 593, 479));
    p.fillRect(QRect(0, 0, 593, 413), QColor(16, 20, 26));
    p.fillRect(QRect(2, 1, 589, 410), Qt::black);
    PanelGradient(p, QRectF(6, 420, 581, 54), QColor(66, 80, 98), QColor(40, 48, 60));
    Bevel(p, QRectF(6, 420, 580, 53), false);
    return image;
}

QImage MeasureBackground()
{
    QImage image = NewImage(646, 512);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    PanelGradient(p, QRectF(0, 0, 646, 512));
    PanelGradient(p, QRectF(0, 0, 646, 30), QColor(84, 100, 120), QColor(52, 64, 80));
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(QRect(3, 30, 640, 480), QColor(16, 20, 26));
    Bevel(p, QRectF(0, 0, 645, 29), false);
    // The well of the tool read-out.
    p.fillRect(QRect(336, 6, 210, 20), QColor(30, 37, 47));
    Bevel(p, QRectF(336, 6, 209, 19), true);
    return image;
}

QImage AboutPicture()
{
    QImage image = NewImage(100, 70);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    PanelGradient(p, QRectF(0, 0, 100, 70), QColor(230, 236, 244), QColor(190, 200, 214));
    // A handheld USB microscope on its stand.
    p.setPen(QPen(QColor(40, 50, 64), 1.2));
    p.setBrush(QColor(70, 84, 102));
    p.drawRoundedRect(QRectF(18, 58, 64, 7), 3, 3);
    p.drawRect(QRectF(60, 18, 5, 40));
    p.save();
    p.translate(48, 30);
    p.rotate(-15);
    p.setBrush(QColor(236, 240, 246));
    p.drawRoundedRect(QRectF(-9, -24, 18, 44), 8, 8);
    p.setBrush(kAccent);
    p.drawEllipse(QRectF(-6, 16, 12, 8));
    p.restore();
    return image;
}

// ---- icons -----------------------------------------------------------------------------

QImage AppIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    p.setPen(QPen(QColor(30, 40, 52), 1.5));
    QRadialGradient g(QPointF(13, 12), 16);
    g.setColorAt(0, QColor(140, 200, 245));
    g.setColorAt(1, QColor(40, 90, 150));
    p.setBrush(g);
    p.drawEllipse(QPointF(16, 16), 14, 14);
    p.setBrush(QColor(245, 248, 252));
    p.drawEllipse(QPointF(16, 16), 6, 6);
    p.setBrush(QColor(200, 70, 150));
    p.drawEllipse(QPointF(16, 16), 2.5, 2.5);
    return image;
}

void SaveIcon(int id, const Glyph& glyph)
{
    for (int size : {16, 32}) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 16.0, size / 16.0);
        glyph(p, QRectF(0, 0, 16, 16));
        p.end();
        Save(image, QString("icon/%1_%2.png").arg(id).arg(size));
    }
}

QPen IconPen(QColor c = QColor(200, 40, 40), double w = 1.3)
{
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void WriteIcons()
{
    const QColor blue(30, 90, 170);
    SaveIcon(246, [&](QPainter& p, const QRectF&) { // cross line
        p.setPen(IconPen(blue));
        p.drawLine(QPointF(8, 1), QPointF(8, 15));
        p.drawLine(QPointF(1, 8), QPointF(15, 8));
    });
    SaveIcon(247, [&](QPainter& p, const QRectF&) { // scale ticks
        p.setPen(IconPen(QColor(30, 30, 30), 1));
        p.drawLine(QPointF(1, 12), QPointF(15, 12));
        for (int x = 1; x <= 15; x += 2) p.drawLine(QPointF(x, 12), QPointF(x, x % 4 == 1 ? 5 : 9));
    });
    SaveIcon(248, [&](QPainter& p, const QRectF&) { // concentric circles
        p.setPen(IconPen(blue, 1));
        p.setBrush(Qt::NoBrush);
        for (double r : {2.5, 4.5, 6.5}) p.drawEllipse(QPointF(8, 8), r, r);
    });
    SaveIcon(249, [&](QPainter& p, const QRectF&) { // time stamp
        p.setPen(IconPen(blue, 1.2));
        p.setBrush(QColor(255, 255, 255));
        p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
        p.drawLine(QPointF(8, 8), QPointF(8, 3.5));
        p.drawLine(QPointF(8, 8), QPointF(11, 9.5));
    });
    SaveIcon(250, [&](QPainter& p, const QRectF&) { // line
        p.setPen(IconPen());
        p.drawLine(QPointF(2, 14), QPointF(14, 2));
    });
    auto polyline = [&](QColor c) {
        return [c](QPainter& p, const QRectF&) {
            p.setPen(IconPen(c));
            p.drawPolyline(QPolygonF{QPointF(1.5, 13), QPointF(5, 4), QPointF(10, 11), QPointF(14.5, 3)});
        };
    };
    SaveIcon(251, polyline(QColor(200, 40, 40)));
    SaveIcon(263, [&](QPainter& p, const QRectF& r) {
        polyline(QColor(30, 90, 170))(p, r);
        p.setPen(IconPen(QColor(30, 30, 30), 1));
        p.drawLine(QPointF(1, 15), QPointF(15, 15));
    });
    SaveIcon(252, [&](QPainter& p, const QRectF&) { // angle
        p.setPen(IconPen());
        p.drawPolyline(QPolygonF{QPointF(14, 3), QPointF(2, 14), QPointF(15, 14)});
        p.setPen(IconPen(blue, 1));
        p.drawArc(QRectF(-3, 9, 10, 10), 0, 45 * 16);
    });
    SaveIcon(257, [&](QPainter& p, const QRectF&) { // angle between two lines
        p.setPen(IconPen());
        p.drawLine(QPointF(1, 14), QPointF(13, 2));
        p.drawLine(QPointF(3, 4), QPointF(15, 14));
        p.setPen(IconPen(blue, 1));
        p.drawArc(QRectF(3, 3, 10, 10), 200 * 16, 100 * 16);
    });
    SaveIcon(253, [&](QPainter& p, const QRectF&) { // rectangle
        p.setPen(IconPen());
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(2, 4, 12, 9));
    });
    SaveIcon(254, [&](QPainter& p, const QRectF&) { // circle by radius
        p.setPen(IconPen());
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
        p.setPen(IconPen(blue, 1.2));
        p.drawLine(QPointF(8, 8), QPointF(14, 5.5));
        p.drawPoint(QPointF(8, 8));
    });
    SaveIcon(255, [&](QPainter& p, const QRectF&) { // circle by diameter
        p.setPen(IconPen());
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
        p.setPen(IconPen(blue, 1.2));
        p.drawLine(QPointF(2, 10.5), QPointF(14, 5.5));
    });
    SaveIcon(256, [&](QPainter& p, const QRectF&) { // circle through three points
        p.setPen(IconPen());
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
        p.setPen(Qt::NoPen);
        p.setBrush(blue);
        for (QPointF pt : {QPointF(8, 1.5), QPointF(2.4, 11.2), QPointF(13.6, 11.2)}) p.drawEllipse(pt, 1.6, 1.6);
    });
    SaveIcon(258, [&](QPainter& p, const QRectF&) { // polygon
        p.setPen(IconPen());
        p.setBrush(QColor(200, 40, 40, 50));
        p.drawPolygon(QPolygonF{QPointF(3, 3), QPointF(13, 2), QPointF(14.5, 10), QPointF(8, 14.5), QPointF(1.5, 10)});
    });
    // Application icon: the microscope picture's lens, in the product's colours. The desktop
    // gets it in the sizes of the icon theme; desktop/qrv-dm500.svg is the same drawing.
    for (int size : {16, 32, 48}) Save(AppIcon(size), QString("icon/128_%1.png").arg(size));
    // The desktop's icons are installed as files, not compiled in.
    for (int size : {48, 128, 256}) AppIcon(size).save(g_out + QString("/desktop/qrv-dm500-%1.png").arg(size));
}

// ---- sounds ----------------------------------------------------------------------------

void WriteWav(int id, const std::vector<float>& samples, int rate)
{
    QFile file(g_out + QString("/sound/%1.wav").arg(id));
    if (!file.open(QIODevice::WriteOnly)) return;
    auto put32 = [&](quint32 v) {
        for (int i = 0; i < 4; ++i) file.putChar(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    auto put16 = [&](quint16 v) {
        file.putChar(static_cast<char>(v & 0xFF));
        file.putChar(static_cast<char>(v >> 8));
    };
    const quint32 dataBytes = static_cast<quint32>(samples.size() * 2);
    file.write("RIFF");
    put32(36 + dataBytes);
    file.write("WAVEfmt ");
    put32(16);
    put16(1);
    put16(1);
    put32(static_cast<quint32>(rate));
    put32(static_cast<quint32>(rate * 2));
    put16(2);
    put16(16);
    file.write("data");
    put32(dataBytes);
    for (float s : samples) put16(static_cast<quint16>(static_cast<qint16>(std::clamp(s, -1.0f, 1.0f) * 30000)));
    g_entries << QString("sound/%1.wav").arg(id);
}

std::vector<float> Tones(const std::vector<std::pair<double, double>>& notes, int rate)
{
    std::vector<float> out;
    for (auto [frequency, seconds] : notes) {
        const int n = static_cast<int>(seconds * rate);
        for (int i = 0; i < n; ++i) {
            const double t = static_cast<double>(i) / rate;
            const double envelope = std::min(1.0, t * 200) * std::exp(-t * 6);
            out.push_back(static_cast<float>(0.5 * envelope * std::sin(2 * M_PI * frequency * t)));
        }
    }
    return out;
}

void WriteSounds()
{
    const int rate = 22050;
    WriteWav(180, Tones({{880, 0.12}, {1320, 0.16}}, rate), rate);              // recording starts/stops
    WriteWav(182, Tones({{1320, 0.12}, {990, 0.12}, {660, 0.25}}, rate), rate); // recording ended
    // Shutter: two short bursts of filtered noise.
    std::vector<float> shutter;
    std::mt19937 random(3);
    std::uniform_real_distribution<float> noise(-1, 1);
    float low = 0;
    for (int burst = 0; burst < 2; ++burst) {
        for (int i = 0; i < rate * 0.05; ++i) {
            low = 0.6f * low + 0.4f * noise(random);
            shutter.push_back(low * 0.8f * std::exp(-i / (rate * 0.012f)));
        }
        for (int i = 0; i < rate * 0.04; ++i) shutter.push_back(0);
    }
    WriteWav(181, shutter, rate);
}

// Every bitmap, at the scale in g_scale.
void DrawBitmaps()
{
    Save(Skin(), "bitmap/140.png");
    Save(ListBackground(true), "bitmap/144.png");
    Save(ListBackground(false), "bitmap/148.png");
    Save(Tab(false), "bitmap/146.png");
    Save(Tab(true), "bitmap/147.png");
    Save(Readout(120, 21, QColor(90, 20, 24), QColor(50, 10, 14)), "bitmap/149.png");
    Save(Readout(58, 22, QColor(44, 53, 66), QColor(30, 37, 47)), "bitmap/218.png");
    Save(Readout(46, 20, QColor(66, 80, 98), QColor(44, 53, 66)), "bitmap/219.png");
    Save(Readout(75, 12, QColor(44, 53, 66), QColor(30, 37, 47)), "bitmap/261.png");
    Save(PlayerBackground(), "bitmap/214.png");
    Save(MeasureBackground(), "bitmap/235.png");
    Save(AboutPicture(), "bitmap/268.png");

    ButtonPair(150, 350, 23, 23, CameraGlyph);
    ButtonPair(151, 351, 23, 23, FilmGlyph, QColor(120, 70, 80));
    ButtonPair(152, 352, 23, 23, ClockGlyph);
    ButtonPair(153, 353, 23, 23, DiskGlyph);
    ButtonPair(154, 354, 23, 23, EnvelopeGlyph);
    ButtonPair(155, 355, 25, 25, EyeGlyph);
    ButtonPair(156, 356, 13, 11, GearGlyph);
    for (int kind = 1; kind <= 7; ++kind) {
        const int size = kind == 5 ? 35 : 23;
        ButtonPair(160 + kind, 360 + kind, size, size, PlayerGlyph(kind));
    }
    ButtonPair(265, 264, 23, 23, FolderGlyph);
    ButtonPair(188, 189, 23, 23, DiskGlyph);
    ButtonPair(201, 202, 23, 23, PencilGlyph);
    ButtonPair(199, 200, 23, 23, RulerGlyph);
    ButtonPair(195, 196, 23, 23, PenStyleGlyph);
    ButtonPair(205, 206, 23, 23, LetterGlyph);
    ButtonPair(207, 208, 23, 23, [](QPainter& p, const QRectF& r) { ArrowGlyph(p, r, true); });
    ButtonPair(267, 266, 23, 23, [](QPainter& p, const QRectF& r) { ArrowGlyph(p, r, false); });
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2) return 2;
    g_out = QString::fromLocal8Bit(argv[1]);
    for (const char* sub : {"bitmap", "icon", "sound", "desktop"}) QDir().mkpath(g_out + "/" + sub);

    for (g_scale = 1; g_scale <= 2; ++g_scale) DrawBitmaps();
    g_scale = 1;

    WriteIcons();
    WriteSounds();

    QFile qrc(g_out + "/artwork.qrc");
    if (!qrc.open(QIODevice::WriteOnly | QIODevice::Text)) return 1;
    QTextStream out(&qrc);
    out << "<RCC>\n  <qresource prefix=\"/\">\n";
    for (const QString& entry : g_entries) out << "    <file>" << entry << "</file>\n";
    out << "  </qresource>\n</RCC>\n";
    return 0;
}
