#include "heights/HeightsDlg.h"

#include "framework/FileDialogs.h"
#include "framework/LangText.h"
#include "framework/MessageBox.h"
#include "heights/HeightExport.h"
#include "heights/HeightView.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

// ---- the picture from above -----------------------------------------------------------------

CHeightPicker::CHeightPicker(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(320, 256);
    setCursor(Qt::CrossCursor);
}

void CHeightPicker::SetPicture(const QImage& picture)
{
    picture_ = picture;
    update();
}

QRectF CHeightPicker::Shown() const
{
    if (picture_.isNull()) return {};
    const double scale =
        std::min(width() / static_cast<double>(picture_.width()), height() / static_cast<double>(picture_.height()));
    const QSizeF size(picture_.width() * scale, picture_.height() * scale);
    return QRectF(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), size);
}

QPointF CHeightPicker::ToWidget(QPointF picture) const
{
    const QRectF shown = Shown();
    return shown.topLeft() +
           QPointF(picture.x() * shown.width() / picture_.width(), picture.y() * shown.height() / picture_.height());
}

QPointF CHeightPicker::ToPicture(QPointF widget) const
{
    const QRectF shown = Shown();
    return QPointF((widget.x() - shown.left()) * picture_.width() / shown.width(),
                   (widget.y() - shown.top()) * picture_.height() / shown.height());
}

void CHeightPicker::SetPoints(std::optional<QPointF> a, std::optional<QPointF> b)
{
    a_ = a;
    b_ = b;
    update();
}

void CHeightPicker::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(30, 32, 36));
    if (picture_.isNull()) return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(Shown(), picture_);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(255, 208, 0), 2));
    if (a_ && b_) painter.drawLine(ToWidget(*a_), ToWidget(*b_));
    for (const auto& point : {a_, b_})
        if (point) painter.drawEllipse(ToWidget(*point), 4, 4);
}

void CHeightPicker::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || picture_.isNull()) return;
    const QPointF at = ToPicture(event->position());
    if (at.x() < 0 || at.y() < 0 || at.x() >= picture_.width() || at.y() >= picture_.height()) return;
    emit Clicked(at);
}

// ---- the profile ------------------------------------------------------------------------------

CHeightProfile::CHeightProfile(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(320, 140);
}

void CHeightProfile::SetProfile(std::vector<HeightMap::ProfilePoint> points, bool micrometresAcross)
{
    points_ = std::move(points);
    micrometresAcross_ = micrometresAcross;
    update();
}

void CHeightProfile::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(30, 32, 36));
    float low = std::numeric_limits<float>::max(), high = std::numeric_limits<float>::lowest();
    for (const auto& p : points_)
        if (!std::isnan(p.height)) {
            low = std::min(low, p.height - p.uncertainty);
            high = std::max(high, p.height + p.uncertainty);
        }
    if (points_.size() < 2 || low > high) return;
    if (high - low < 1) high = low + 1;
    const QRectF plot = QRectF(rect()).adjusted(48, 8, -8, -22);
    const double length = std::max(1e-9, points_.back().along);
    auto at = [&](double along, double h) {
        return QPointF(plot.left() + plot.width() * along / length,
                       plot.bottom() - plot.height() * (h - low) / (high - low));
    };
    // The uncertainty as a band, the heights as a line; gaps where unknown.
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath band, line;
    bool drawing = false;
    for (const auto& p : points_) {
        if (std::isnan(p.height)) {
            drawing = false;
            continue;
        }
        painter.setPen(QPen(QColor(90, 110, 140), 1));
        painter.drawLine(at(p.along, p.height - p.uncertainty), at(p.along, p.height + p.uncertainty));
        if (!drawing) line.moveTo(at(p.along, p.height));
        else line.lineTo(at(p.along, p.height));
        drawing = true;
    }
    painter.setPen(QPen(QColor(255, 208, 0), 2));
    painter.drawPath(line);
    painter.setPen(Qt::white);
    const QString unit = QStringLiteral(" \u00b5m");
    painter.drawText(QRectF(0, plot.top() - 4, 46, 16), Qt::AlignRight, QString::number(high, 'f', 0) + unit);
    painter.drawText(QRectF(0, plot.bottom() - 12, 46, 16), Qt::AlignRight, QString::number(low, 'f', 0) + unit);
    painter.drawText(QRectF(plot.left(), plot.bottom() + 4, plot.width(), 16), Qt::AlignRight,
                     QString::number(length, 'f', 0) + (micrometresAcross_ ? unit : QStringLiteral(" px")));
}

// ---- the window -----------------------------------------------------------------------------

CHeightsDlg::CHeightsDlg(HeightMap map, QImage picture, int magnification, QString calibrationPath, QWidget* parent)
    : QDialog(parent), map_(std::move(map)), picture_(std::move(picture)), magnification_(magnification),
      calibrationPath_(std::move(calibrationPath))
{
    setWindowTitle(LangText("HeightsMenu", 40, "Heights...").remove(QStringLiteral("...")));
    view_ = new CHeightView(this);
    view_->setMinimumSize(640, 512);
    view_->SetSurface(map_, picture_);
    picker_ = new CHeightPicker(this);
    picker_->SetPicture(picture_);
    profile_ = new CHeightProfile(this);
    readout_ = new QLabel(LangText("HeightsHint", 100, "Click two points on the picture to measure."), this);
    readout_->setWordWrap(true);
    colours_ = new QPushButton(LangText("HeightsColour", 40, "Colour by height"), this);
    colours_->setCheckable(true);
    auto* calibrate = new QPushButton(LangText("HeightsCalibrate", 40, "Calibrate heights..."), this);
    auto* save = new QPushButton(LangText("HeightsSave", 40, "Save heights..."), this);
    auto* side = new QVBoxLayout;
    side->addWidget(picker_);
    side->addWidget(readout_);
    side->addWidget(profile_);
    side->addWidget(colours_);
    side->addWidget(calibrate);
    side->addWidget(save);
    side->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(view_, 1);
    layout->addLayout(side);
    connect(picker_, &CHeightPicker::Clicked, this, &CHeightsDlg::PickPoint);
    connect(colours_, &QPushButton::toggled, view_, &CHeightView::SetColourByHeight);
    connect(calibrate, &QPushButton::clicked, this, &CHeightsDlg::OnCalibrate);
    connect(save, &QPushButton::clicked, this, &CHeightsDlg::OnSave);
}

void CHeightsDlg::PickPoint(QPointF picturePoint)
{
    if (!a_ || b_) {
        a_ = picturePoint;
        b_.reset();
    } else {
        b_ = picturePoint;
    }
    picker_->SetPoints(a_, b_);
    Measure();
}

std::optional<std::pair<double, double>> CHeightsDlg::Difference() const
{
    if (!a_ || !b_) return std::nullopt;
    const auto a = map_.HeightNear(*a_), b = map_.HeightNear(*b_);
    if (!a || !b) return std::nullopt;
    return std::pair<double, double>(b->first - a->first, std::hypot(a->second, b->second));
}

void CHeightsDlg::Measure()
{
    if (!a_ || !b_) {
        profile_->SetProfile({}, false);
        readout_->setText(LangText("HeightsHint", 100, "Click two points on the picture to measure."));
        return;
    }
    profile_->SetProfile(map_.Profile(*a_, *b_), map_.micrometresPerPixel > 0);
    readout_->setText(MeasurementText());
}

QString CHeightsDlg::MeasurementText() const
{
    const auto difference = Difference();
    if (!difference)
        return LangText("HeightsUnknown", 100, "The height is unknown there (no detail was sharp in any picture).");
    return QStringLiteral("\u0394h = %1 \u00b1 %2 \u00b5m")
               .arg(difference->first, 0, 'f', 1)
               .arg(difference->second, 0, 'f', 1) +
           (map_.nominal
                ? QStringLiteral(" (") + LangText("HeightsNominal", 64, "nominal heights: no height calibration") +
                      QLatin1Char(')')
                : QString());
}

void CHeightsDlg::OnCalibrate()
{
    const auto difference = Difference();
    if (!difference || magnification_ <= 0) {
        ShowMessageBox(this,
                       LangText("HeightsCalibrateHow", 200,
                                "Click a point on the lower surface, then one on the upper, and type the "
                                "magnification before the pictures are taken (it is in their names)."),
                       QApplication::applicationName());
        return;
    }
    std::optional<double> known;
    if (askKnownHeight) {
        known = askKnownHeight();
    } else {
        bool ok = false;
        const double typed = QInputDialog::getDouble(
            this, LangText("HeightsCalibrate", 40, "Calibrate heights..."),
            LangText("HeightsKnown", 100, "The real height difference between the two points, in micrometres:"), 170,
            0.1, 100000, 1, &ok);
        if (ok) known = typed;
    }
    if (!known) return;
    // The heights were made with the magnification's calibration or the built-in values: the
    // growth per micrometre, or a motorised focus's travel per unit.
    HeightCalibrationStore store(calibrationPath_);
    const HeightScale used = store.ScaleFor(magnification_);
    const double current = map_.fromFocusPositions ? used.micrometresPerFocusUnit : used.growthPerMicrometre;
    const auto calibrated = HeightCalibrationStore::Calibrate(map_, used, *a_, *b_, *known);
    QString error;
    if (!calibrated || !store.SetFor(map_, magnification_, *calibrated, &error)) {
        ShowMessageBox(this,
                       LangText("HeightsCalibrateFail", 100, "The heights could not be calibrated:") +
                           QLatin1Char('\n') + (error.isEmpty() ? MeasurementText() : error),
                       QApplication::applicationName());
        return;
    }
    const float factor = static_cast<float>(HeightCalibrationStore::Rescaling(map_, current, *calibrated));
    // Every height scales; its uncertainty too, and the share the old scale's own uncertainty
    // had in it gives way to the calibration's.
    const double before = map_.fromFocusPositions ? used.focusUnitUncertainty : used.relativeUncertainty;
    const HeightScale now = store.ScaleFor(magnification_);
    const double after = map_.fromFocusPositions ? now.focusUnitUncertainty : now.relativeUncertainty;
    for (std::size_t i = 0; i < map_.micrometres.size(); ++i) {
        const double z = map_.micrometres[i] * factor, u = map_.uncertainty[i] * std::abs(factor);
        if (std::isnan(z)) continue; // unknown stays unknown
        const double own = std::max(0.0, u * u - before * before * z * z);
        map_.micrometres[i] = static_cast<float>(z);
        map_.uncertainty[i] = static_cast<float>(std::sqrt(own + after * after * z * z));
    }
    for (double& d : map_.frameMicrometres) d *= factor;
    map_.nominal = false;
    view_->SetSurface(map_, picture_);
    Measure();
}

void CHeightsDlg::OnSave()
{
    const QString path = GetSaveFileName(
        this, {LangText("HeightsSave", 40, "Save heights..."), QStringLiteral("heights.tif"),
               QStringLiteral("TIFF Files(*.tif)|*.tif|PLY Files(*.ply)|*.ply|STL Files(*.stl)|*.stl||"),
               QStringLiteral("tif")});
    if (path.isEmpty()) return;
    QString error;
    const bool written =
        IsMeshName(path) ? WriteHeightMesh(path, map_, picture_, &error) : WriteHeightTiff(path, map_, &error);
    if (!written)
        ShowMessageBox(this, LangText("SaveFail", 64, "Cannot save the file") + QLatin1Char('\n') + error,
                       QApplication::applicationName(), MessageButtons::Ok, MessageIcon::Warning);
}
