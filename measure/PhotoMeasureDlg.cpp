#include "measure/PhotoMeasureDlg.h"

#include "framework/FileDialogs.h"
#include "framework/LangText.h"
#include "framework/RegularFile.h"
#include "measure/CalibrateDlg.h"
#include "measure/MeasureCanvas.h"
#include "measure/MeasureGeometry.h"
#include "measure/MeasurementExport.h"
#include "measure/PenSettingDlg.h"
#include "measure/TextSettingDlg.h"
#include "resources/Resources.h"
#include "widgets/BitmapButton.h"
#include "widgets/FittedText.h"
#include "widgets/MenuXP.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QImageReader>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>

#include <cmath>
#include <span>

namespace {

struct ToolMenuItem {
    int command; // 0: separator
    const char* key;
    const char* text;
    int icon;
    int tool;
    bool measure;
    const char* readoutKey;
    const char* readout;
};

constexpr ToolMenuItem kDrawMenu[] = {
    {32810, "straightline", "Line", IDI_LINE, ToolLine, false, "DrawLine", "Line"},
    {32811, "Continuousline", "Continuous line", IDI_CONTINUOUS_LINE, ToolContinuousLine, false, "DrawContinueline",
     "Continuous Line"},
    {0, nullptr, nullptr, 0, 0, false, nullptr, nullptr},
    {32812, "Angle", "Angle", IDI_ANGLE, ToolAngle, false, "DrawAngle", "Angle"},
    {32813, "Rectangle", "Retangle", IDI_RECTANGLE, ToolRectangle, false, "DrawRectangle", "Rectangle"},
    {0, nullptr, nullptr, 0, 0, false, nullptr, nullptr},
    {32814, "RadialCircle", "Radius Circle", IDI_RADIUS_CIRCLE, ToolRadiusCircle, false, "DrawRadialCircle",
     "Radial Circle"},
    {32815, "Diametercircle", "Diameter Circle", IDI_DIAMETER_CIRCLE, ToolDiameterCircle, false, "DrawDiametercircle",
     "Diameter Circle"},
    {32816, "Threepointcircle", "Three Points Circle", IDI_THREE_POINT_CIRCLE, ToolThreePointCircle, false,
     "DrawThreePointCircle", "Three Point Circle"},
};

constexpr ToolMenuItem kMeasureMenu[] = {
    {32817, "straightline", "Line", IDI_LINE, ToolLine, true, "MeasureLine", "Line"},
    {CPhotoMeasureDlg::kCaliperCommand, "MeasureCaliperMenu", "Caliper", IDI_LINE, ToolCaliper, true,
     "MeasureCaliperMenu", "Caliper"},
    {32818, "Continuousline", "Continuous line", IDI_MEASURE_CONTINUOUS_LINE, ToolContinuousLine, true,
     "MeasureContinueline", "Continuous Line"},
    {0, nullptr, nullptr, 0, 0, false, nullptr, nullptr},
    {32819, "Rectangle", "Rectangle", IDI_RECTANGLE, ToolRectangle, true, "MeasureRectangle", "Rectangle"},
    {32820, "Ploygon", "Polygon", IDI_POLYGON, ToolPolygon, true, "MeasurePloygon", "Polygon"},
    {0, nullptr, nullptr, 0, 0, false, nullptr, nullptr},
    {32821, "RadialCircle", "Radius Circle", IDI_RADIUS_CIRCLE, ToolRadiusCircle, true, "MeasureRedialCircle",
     "Radius Circle"},
    {32822, "Diametercircle", "Diameter Circle", IDI_DIAMETER_CIRCLE, ToolDiameterCircle, true, "MeasureDiameterCircle",
     "Diameter Circle"},
    {32823, "Threepointcircle", "Three Point Circle", IDI_THREE_POINT_CIRCLE, ToolThreePointCircle, true,
     "MeasureThreePointCircle", "Three Point Circle"},
    {0, nullptr, nullptr, 0, 0, false, nullptr, nullptr},
    {32824, "Angle", "Angle", IDI_ANGLE, ToolAngle, true, "MeasureAngle", "Angle"},
    {32825, "Fourpointangle", "Four Point Angle", IDI_FOUR_POINT_ANGLE, ToolFourPointAngle, true,
     "MeasureFourPointCircle", "Four Point Angle"},
    {0, nullptr, nullptr, 0, 0, false, nullptr, nullptr},
    {CPhotoMeasureDlg::kCountCommand, "MeasureCountMenu", "Count", IDI_CROSS, ToolCount, false, "MeasureCountMenu",
     "Count"},
    {0, nullptr, nullptr, 0, 0, false, nullptr, nullptr},
    {CPhotoMeasureDlg::kCalibrateCommand, "Calibrate", "Calibrate...", 0, ToolNone, true, nullptr, nullptr},
    {CPhotoMeasureDlg::kExportCommand, "ExportMeasure", "Export measurements...", 0, ToolNone, false, nullptr, nullptr},
};

const ToolMenuItem* FindMenuItem(int command)
{
    for (const auto& item : kDrawMenu)
        if (item.command == command) return &item;
    for (const auto& item : kMeasureMenu)
        if (item.command == command) return &item;
    return nullptr;
}

const QColor kReadoutColour(0, 125, 255);

} // namespace

CPhotoMeasureDlg::CPhotoMeasureDlg(const QString& picturePath, QWidget* parent, const QString& calibrationPath)
    : CModalDialog(parent), picturePath_(picturePath),
      calibrations_(std::make_unique<CalibrationStore>(calibrationPath.isEmpty() ? CalibrationStore::DefaultPath()
                                                                                 : calibrationPath))
{
    SetSwallowEscAndEnter(true);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_OpaquePaintEvent);

    rateBox_ = new QLineEdit(this);
    rateBox_->setMaxLength(3);
    rateBox_->setValidator(new QIntValidator(-99, 999, rateBox_));
    rateBox_->setGeometry(608, 6, 34, 18);
    rateBox_->setAlignment(Qt::AlignRight);

    frame_ = new QFrame(this);
    frame_->setFrameShape(QFrame::NoFrame);
    frame_->setGeometry(3, 30, 640, 512);
    CreateCanvas(picturePath_, false);
    rateBox_->setText(QString::number(canvas_->FileNameRate()));

    setWindowTitle(LangText("PhotoMeasure", 64, "Photo Measure"));
    background_ = resources::LoadBitmapImage(IDB_MEASURE_BACKGROUND).convertToFormat(QImage::Format_RGB32);
    setFixedSize(kClientSize);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        move(available.left() + (available.width() - kClientSize.width()) / 2,
             available.top() + (available.height() - kClientSize.height()) / 2);
    }

    struct ButtonPlace {
        int id;
        int normal;
        int pressed;
        QPoint at;
        const char* key;
        const char* tip;
    };
    const ButtonPlace places[8] = {
        {IDC_OPEN, IDB_MEASURE_OPEN, IDB_MEASURE_OPEN_DOWN, {24, 5}, "TipOpen", "Open"},
        {IDC_SAVE, IDB_MEASURE_SAVE, IDB_MEASURE_SAVE_DOWN, {62, 5}, "TipSave", "Save"},
        {IDC_DRAW, IDB_MEASURE_DRAW, IDB_MEASURE_DRAW_DOWN, {100, 5}, "TipLine", "Paint"},
        {IDC_MEASURE, IDB_MEASURE_MEASURE, IDB_MEASURE_MEASURE_DOWN, {136, 5}, "TipCircle", "Measure"},
        {IDC_PEN, IDB_MEASURE_PEN, IDB_MEASURE_PEN_DOWN, {175, 5}, "TipRectangle", "Pen setting"},
        {IDC_TEXT, IDB_MEASURE_TEXT, IDB_MEASURE_TEXT_DOWN, {214, 5}, "TipText", "Text setting"},
        {IDC_UNDO, IDB_MEASURE_UNDO, IDB_MEASURE_UNDO_DOWN, {256, 5}, "TipDelete", "Undo"},
        {IDC_REDO, IDB_MEASURE_REDO, IDB_MEASURE_REDO_DOWN, {294, 5}, "TipResume", "Redo"},
    };
    for (std::size_t i = 0; i < 8; ++i) {
        const ButtonPlace& place = places[i];
        const bool toggle = place.id == IDC_DRAW || place.id == IDC_MEASURE;
        CBitmapButton* button = toggle ? new CLatchButton(this) : new CBitmapButton(this);
        button->LoadBitmaps(resources::LoadBitmap(place.normal), resources::LoadBitmap(place.pressed));
        button->move(place.at);
        button->setToolTip(LangText(place.key, 64, place.tip));
        button->setAccessibleName(button->toolTip());
        buttons_[i] = button;
    }
    drawButton_ = static_cast<CLatchButton*>(buttons_[2]);
    measureButton_ = static_cast<CLatchButton*>(buttons_[3]);
    connect(buttons_[0], &QAbstractButton::clicked, this, &CPhotoMeasureDlg::OnOpen);
    connect(buttons_[1], &QAbstractButton::clicked, this, &CPhotoMeasureDlg::OnSave);
    connect(drawButton_, &QAbstractButton::clicked, this, [this] { OpenToolMenu(false); });
    connect(measureButton_, &QAbstractButton::clicked, this, [this] { OpenToolMenu(true); });
    connect(buttons_[4], &QAbstractButton::clicked, this, &CPhotoMeasureDlg::OnPenSetting);
    connect(buttons_[5], &QAbstractButton::clicked, this, &CPhotoMeasureDlg::OnTextSetting);
    connect(buttons_[6], &QAbstractButton::clicked, this, &CPhotoMeasureDlg::OnUndo);
    connect(buttons_[7], &QAbstractButton::clicked, this, &CPhotoMeasureDlg::OnRedo);

    readout_ = new QLabel(this);
    readout_->setGeometry(338, 7, 124, 18);
    readout_->setStyleSheet(QStringLiteral("color: rgb(0, 125, 255);"));
    // Which scale the millimetres come from: a stage calibration or the nominal factor.
    scaleSource_ = new QLabel(this);
    scaleSource_->setGeometry(456, 7, 100, 18);
    scaleSource_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    connect(rateBox_, &QLineEdit::textChanged, this, &CPhotoMeasureDlg::UpdateScaleSource);
    UpdateScaleSource();
    if (!calibrations_->LoadError().isEmpty())
        ShowMessageBox(this,
                       LangText("CalibrationDamaged", 100, "The calibration file is damaged:") + QLatin1Char('\n') +
                           calibrations_->LoadError(),
                       QApplication::applicationName(), MessageButtons::Ok, MessageIcon::Warning);

    // The rate label: its text on the small bitmap, in the program's small font.
    rateLabel_ = resources::LoadBitmapImage(IDB_MEASURE_RATE_LABEL).convertToFormat(QImage::Format_RGB32);
    QPainter painter(&rateLabel_);
    QFont small = QFont(QStringLiteral("monospace"));
    small.setStyleHint(QFont::Monospace);
    small.setPixelSize(10);
    painter.setFont(small);
    painter.setPen(kReadoutColour);
    // The label's room ends where the magnification box begins.
    DrawFittedText(painter, QPoint(0, 2 + QFontMetrics(small).ascent()), 608 - 562 - 2, LangText("Rate", 24, "Scale:"));
}

CPhotoMeasureDlg::~CPhotoMeasureDlg()
{
    canvas_.reset();
}

bool CPhotoMeasureDlg::CreateCanvas(const QString& path, bool fromOpenButton)
{
    // The picture's size decides the canvas's only at first; Open always gives 640 x 480.
    QSize viewSize(640, 480);
    if (!fromOpenButton) {
        const QSize pictureSize = IsReadableRegularFile(path) ? QImageReader(path).size() : QSize();
        if (pictureSize == QSize(320, 240)) viewSize = QSize(320, 240);
    }
    auto canvas = std::make_unique<CMeasureCanvas>(path, viewSize, frame_);
    // A picture that does not load leaves the shown one (and its shapes) as they were; the
    // canvas has said why.
    if (!canvas->HasPicture() && canvas_) return false;
    canvas_.reset(); // the old canvas empties the shape lists as it goes
    canvas_ = std::move(canvas);
    canvas_->SetTool(ToolInitial, true);
    canvas_->move(0, 0);
    canvas_->show();
    if (scaleSource_) UpdateScaleSource();
    return canvas_->HasPicture();
}

bool CPhotoMeasureDlg::HasPicture() const
{
    return canvas_ && canvas_->HasPicture();
}

CBitmapButton* CPhotoMeasureDlg::Button(int controlId) const
{
    static const int ids[8] = {IDC_OPEN, IDC_SAVE, IDC_DRAW, IDC_MEASURE, IDC_PEN, IDC_TEXT, IDC_UNDO, IDC_REDO};
    for (int i = 0; i < 8; ++i)
        if (ids[i] == controlId) return buttons_[static_cast<std::size_t>(i)];
    return nullptr;
}

bool CPhotoMeasureDlg::IsLatched(int controlId) const
{
    if (controlId == IDC_DRAW) return drawButton_->IsLatched();
    if (controlId == IDC_MEASURE) return measureButton_->IsLatched();
    return false;
}

QString CPhotoMeasureDlg::ToolReadout() const
{
    return readout_->text();
}

void CPhotoMeasureDlg::ReleaseToggles()
{
    drawButton_->Unlatch();
    measureButton_->Unlatch();
}

void CPhotoMeasureDlg::OpenToolMenu(bool measureMenu)
{
    if (canvas_) canvas_->SetTool(ToolNone, true);
    readout_->clear();
    CLatchButton* chosen = measureMenu ? measureButton_ : drawButton_;
    (measureMenu ? drawButton_ : measureButton_)->Unlatch();
    chosen->Latch();

    CMenuXP menu(this);
    const std::span<const ToolMenuItem> items =
        measureMenu ? std::span<const ToolMenuItem>(kMeasureMenu) : std::span<const ToolMenuItem>(kDrawMenu);
    for (const ToolMenuItem& item : items) {
        if (item.command == 0) menu.AppendSeparator();
        else menu.AppendItem(item.command, LangText(item.key, 30, item.text), resources::LoadIcon(item.icon));
    }
    if (measureMenu) {
        // The corner of the scale bar in the saved picture; the chosen one is ticked, and
        // choosing it again takes the bar away.
        menu.AppendSeparator();
        const QString scaleBar = LangText("ScaleBar", 30, "Scale bar");
        const char* arrows[] = {"\u2196", "\u2197", "\u2199", "\u2198"};
        for (int corner = 0; corner < 4; ++corner) {
            const bool chosen = canvas_ && canvas_->ScaleBarCornerChosen() == static_cast<ScaleBarCorner>(corner);
            menu.AppendItem(kScaleBarCommand + corner,
                            (chosen ? QStringLiteral("\u2713 ") : QString()) + scaleBar + QLatin1Char(' ') +
                                QString::fromUtf8(arrows[corner]),
                            QIcon());
        }
    }
    int command = 0;
    if (menuAnswer_) {
        command = *menuAnswer_;
        menuAnswer_.reset();
    } else {
        const QRect button = chosen->geometry();
        command = menu.ExecAt(mapToGlobal(QPoint(button.left(), button.bottom() + 1 - 2)));
    }
    if (command) OnMenuCommand(command);
}

bool CPhotoMeasureDlg::CheckRate()
{
    const QString prompt = LangText("EnterRate", 64, "Please enter the magnification.");
    bool ok = false;
    int typed = rateBox_->text().trimmed().toInt(&ok);
    if (!ok) typed = 0;
    const QSize picture = canvas_ ? canvas_->PictureSize() : QSize();
    // A rate that comes out 0 or below is refused like an empty box: it has no millimetres.
    const std::optional<int> rate = CalibrationRate(typed, picture.width(), picture.height());
    if (!rate) {
        ShowMessageBox(this, prompt, QApplication::applicationName());
        return false;
    }
    if (canvas_) canvas_->SetCalibrationRate(*rate);
    return true;
}

int CPhotoMeasureDlg::TypedMagnification() const
{
    bool ok = false;
    const int typed = rateBox_->text().trimmed().toInt(&ok);
    return ok ? typed : 0;
}

void CPhotoMeasureDlg::UpdateScaleSource()
{
    if (!canvas_ || !scaleSource_) return;
    // A scale the file carries was measured for this very picture: it holds while the box
    // shows the magnification the picture came with. Typing another one overrides it.
    if (canvas_->FileMillimetresPerPixel() > 0 && TypedMagnification() == canvas_->FileNameRate()) {
        canvas_->SetStageCalibration(canvas_->FileMillimetresPerPixel(), calibrations_->Unit());
        scaleSource_->setText(LangText("ScaleFromFile", 30, "from file"));
        scaleSource_->setStyleSheet(QStringLiteral("color: rgb(120, 220, 140); font-weight: bold;"));
        scaleSource_->setToolTip(QStringLiteral("%1 mm/px").arg(canvas_->FileMillimetresPerPixel(), 0, 'g', 6));
        return;
    }
    const std::optional<StageCalibration> calibration = calibrations_->Find(TypedMagnification());
    const double perPixel =
        calibration ? CalibrationStore::MillimetresPerPicturePixel(*calibration, canvas_->PictureSize().width()) : 0;
    canvas_->SetStageCalibration(perPixel, calibrations_->Unit());
    scaleSource_->setText(calibration ? LangText("ScaleCalibrated", 30, "calibrated")
                                      : LangText("ScaleNominal", 30, "nominal scale"));
    scaleSource_->setStyleSheet(calibration ? QStringLiteral("color: rgb(120, 220, 140); font-weight: bold;")
                                            : QStringLiteral("color: rgb(170, 180, 190);"));
    scaleSource_->setToolTip(calibration ? QStringLiteral("%1: %2 mm/px (1280)")
                                               .arg(calibration->name)
                                               .arg(calibration->millimetresPerPixel, 0, 'g', 6)
                                         : QString());
}

void CPhotoMeasureDlg::OnCalibrate()
{
    if (!canvas_ || !CheckRate()) return;
    const MeasureShape* line = canvas_->LastLine();
    if (!line) {
        ShowMessageBox(this, LangText("DrawRulerLine", 100, "First measure a line along the ruler."),
                       QApplication::applicationName(), MessageButtons::Ok, MessageIcon::Information);
        return;
    }
    const QPointF a = canvas_->Mapping().ToPicture(line->points[0]);
    const QPointF b = canvas_->Mapping().ToPicture(line->points[1]);
    const double picturePixels = std::hypot(a.x() - b.x(), a.y() - b.y());
    if (picturePixels < 1) return;
    CCalibrateDlg dialog(calibrations_->Unit(), this);
    const Answer answer = runCalibrateDialog ? runCalibrateDialog(dialog) : dialog.DoModal();
    if (answer != Answer::Ok) return;
    StageCalibration calibration;
    calibration.magnification = TypedMagnification();
    calibration.millimetresPerPixel =
        dialog.LengthMillimetres() / picturePixels * canvas_->PictureSize().width() / 1280.0;
    calibration.name = QStringLiteral("%1X").arg(calibration.magnification);
    QString error;
    if (!calibrations_->Set(calibration, &error) || !calibrations_->SetUnit(dialog.Unit(), &error)) {
        ShowSaveFailure(this, error);
        return;
    }
    UpdateScaleSource();
    canvas_->Relabel();
}

void CPhotoMeasureDlg::OnExportMeasurements()
{
    if (!canvas_ || !canvas_->HasPicture()) return;
    const QFileInfo picture(picturePath_);
    const QString proposed =
        picture.absolutePath() + QLatin1Char('/') + picture.completeBaseName() + QStringLiteral(".csv");
    const QString path = GetSaveFileName(this, {LangText("ExportMeasure", 30, "Export measurements..."), proposed,
                                                QStringLiteral("CSV Files(*.csv)|*.csv||"), QStringLiteral("csv")});
    if (path.isEmpty()) return;
    MeasurementScale scale;
    scale.mapping = canvas_->Mapping();
    scale.pictureFile = picture.fileName();
    scale.pictureSize = canvas_->PictureSize();
    scale.millimetresPerPixel = canvas_->LabelsMillimetresPerPixel();
    const int magnification = TypedMagnification();
    if (const auto calibration = calibrations_->Find(magnification)) {
        scale.calibration = QStringLiteral("%1 mm/px at %2X (1280 wide)")
                                .arg(calibration->millimetresPerPixel, 0, 'g', 6)
                                .arg(magnification);
        scale.source = QStringLiteral("stage calibration");
    } else {
        scale.calibration = QStringLiteral("%1 mm/px at %2X").arg(kPixelFactor).arg(magnification);
        scale.source = QStringLiteral("nominal");
    }
    QString error;
    if (!ExportMeasurements(path, canvas_->Shapes(), scale, &error)) ShowSaveFailure(this, error);
}

void CPhotoMeasureDlg::OnMenuCommand(int command)
{
    if (command >= kScaleBarCommand && command < kScaleBarCommand + 4) {
        if (!canvas_) return;
        const auto corner = static_cast<ScaleBarCorner>(command - kScaleBarCommand);
        canvas_->SetScaleBarCorner(canvas_->ScaleBarCornerChosen() == corner ? std::nullopt
                                                                             : std::optional<ScaleBarCorner>(corner));
        return;
    }
    if (command == kCalibrateCommand) return OnCalibrate();
    if (command == kExportCommand) return OnExportMeasurements();
    const ToolMenuItem* item = FindMenuItem(command);
    if (!item) return;
    if (item->measure && !CheckRate()) return;
    if (!canvas_) return;
    canvas_->SetTool(item->tool, item->measure);
    readout_->setText(LangText(item->readoutKey, 30, item->readout));
}

Answer CPhotoMeasureDlg::RunSettings(QDialog& dialog)
{
    if (runSettingsDialog) return runSettingsDialog(dialog);
    return dialog.exec() == QDialog::Accepted ? Answer::Ok : Answer::Cancel;
}

void CPhotoMeasureDlg::OnPenSetting()
{
    ReleaseToggles();
    if (!canvas_) return;
    CPenSettingDlg dialog(this);
    dialog.width = canvas_->penWidth;
    dialog.style = canvas_->penStyle;
    dialog.penColor = canvas_->penColor;
    dialog.labelColor = canvas_->labelColor;
    dialog.labelFont = canvas_->labelFont;
    if (RunSettings(dialog) != Answer::Ok) return;
    canvas_->penWidth = dialog.width;
    canvas_->penStyle = dialog.style;
    canvas_->penColor = dialog.penColor;
    canvas_->labelColor = dialog.labelColor;
    canvas_->labelFont = dialog.labelFont;
}

void CPhotoMeasureDlg::OnTextSetting()
{
    ReleaseToggles();
    if (canvas_) {
        CTextSettingDlg dialog(this);
        dialog.textColor = canvas_->textColor;
        if (RunSettings(dialog) == Answer::Ok) {
            canvas_->textColor = dialog.textColor;
            canvas_->textFont = dialog.textFont;
            canvas_->SetPendingText(dialog.text);
        }
        // OK or Cancel, the next click places the pending text.
        canvas_->SetTool(ToolText, true);
    }
}

void CPhotoMeasureDlg::OnUndo()
{
    ReleaseToggles();
    if (canvas_) canvas_->Undo();
}

void CPhotoMeasureDlg::OnRedo()
{
    ReleaseToggles();
    if (canvas_) canvas_->Redo();
}

void CPhotoMeasureDlg::OnSave()
{
    SaveAnnotatedPicture();
}

bool CPhotoMeasureDlg::SaveAnnotatedPicture()
{
    ReleaseToggles();
    if (!canvas_) return false;
    // The dialog starts beside the picture, under its own name.
    const QString folder = QFileInfo(canvas_->PicturePath()).absolutePath();
    const SaveFileRequest request{
        QString(), folder + QLatin1Char('/') + canvas_->Title(),
        QStringLiteral("BMP Files(*.BMP)|*.BMP|JPG Files(*.JPG)|*.JPG|TIFF Files(*.tif)|*.tif|"
                       "PNG Files(*.png)|*.png||"),
        QStringLiteral("BMP")};
    const QString path = GetSaveFileName(this, request);
    if (path.isEmpty()) return false;
    QString error;
    const bool saved = canvas_->SaveAnnotated(path, &error);
    ShowMessageBox(this,
                   saved ? LangText("SaveSuccessfull", 64, "Saved successfully.")
                         : LangText("SaveFail", 64, "Saving failed") +
                               (error.isEmpty() ? QString() : QLatin1Char('\n') + error),
                   QApplication::applicationName());
    return saved;
}

void CPhotoMeasureDlg::OnOpen()
{
    ReleaseToggles();
    const SaveFileRequest request{
        QString(), QStringLiteral("*.bmp"),
        QStringLiteral("bmp Files(*.bmp)|*.bmp|TIFF Files(*.tif)|*.tif|PNG Files(*.png)|*.png"), QStringLiteral("bmp")};
    const QString path = GetOpenFileName(this, request);
    if (path.isEmpty() || !canvas_) return;
    if (!CreateCanvas(path, true)) return;
    rateBox_->setText(QString::number(canvas_->FileNameRate()));
    readout_->clear();
}

void CPhotoMeasureDlg::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.drawImage(QRectF(event->rect()), background_, resources::PixelsOf(event->rect(), background_));
    painter.drawImage(562, 7, rateLabel_);
}

void CPhotoMeasureDlg::closeEvent(QCloseEvent* event)
{
    // Only shapes that were never saved are worth a question; they can be saved from it.
    if (canvas_ && canvas_->HasUnsavedShapes()) {
        const Answer answer = ShowMessageBox(
            this, LangText("SureSaveShapes", 100, "The shapes on this picture are not saved. Save them?"),
            QApplication::applicationName(), MessageButtons::SaveDiscardCancel, MessageIcon::Question);
        if (answer == Answer::Cancel || (answer == Answer::Yes && !SaveAnnotatedPicture())) {
            event->ignore();
            return;
        }
    }
    event->accept();
    done(QDialog::Rejected);
}
