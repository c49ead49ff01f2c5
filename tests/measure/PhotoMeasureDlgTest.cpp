#include "measure/PhotoMeasureDlg.h"
#include "TestSupport.h"
#include "framework/FileDialogs.h"
#include "measure/MeasureCanvas.h"
#include "measure/PenSettingDlg.h"
#include "measure/TextSettingDlg.h"
#include "media/BmpFile.h"
#include "media/StillNames.h"
#include "widgets/BitmapButton.h"

#include <QCloseEvent>
#include <QImageReader>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QString WritePicture(const QTemporaryDir& dir, const QString& name, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(qRgb(200, 210, 220));
    const QString path = dir.path() + "/" + name;
    image.save(path, "BMP");
    return path;
}

QPushButton* ButtonNamed(QDialog& dialog, const QString& text)
{
    for (auto* button : dialog.findChildren<QPushButton*>())
        if (button->text() == text) return button;
    return nullptr;
}

class PhotoMeasureDlgTest : public ::testing::Test {
protected:
    void Open(QSize size, const QString& name = "Still_2026-01-02_030405_200X_N0001.bmp")
    {
        dialog_ = std::make_unique<CPhotoMeasureDlg>(WritePicture(dir_, name, size));
        dialog_->show();
    }
    void TearDown() override { dialog_.reset(); }
    CMeasureCanvas& Canvas() { return *dialog_->Canvas(); }

    QTemporaryDir dir_;
    std::unique_ptr<CPhotoMeasureDlg> dialog_;
};

} // namespace

TEST_F(PhotoMeasureDlgTest, LaysOutTheWindowAndReadsTheRateFromTheFileName)
{
    Open({640, 480});
    EXPECT_EQ(dialog_->size(), QSize(646, 512));
    EXPECT_EQ(dialog_->RateBox().text(), "200");
    EXPECT_EQ(dialog_->RateBox().maxLength(), 3);
    EXPECT_EQ(dialog_->RateBox().pos(), QPoint(608, 6));
    EXPECT_EQ(Canvas().size(), QSize(640, 480));
    EXPECT_EQ(dialog_->Button(CPhotoMeasureDlg::IDC_MEASURE)->pos(), QPoint(136, 5));
    EXPECT_EQ(dialog_->Button(CPhotoMeasureDlg::IDC_MEASURE)->toolTip(), "Measure");
    EXPECT_EQ(Canvas().Tool(), ToolInitial);
}

TEST_F(PhotoMeasureDlgTest, TheRateCheckDividesByPictureSizeAndRefusesNonsense)
{
    Open({1280, 1024});
    MessageBoxRecorder boxes;
    struct Case {
        const char* box;
        int rate;
    };
    for (const Case c : {Case{"21", 18}, Case{"200", 197}, Case{"20", 20}}) {
        dialog_->RateBox().setText(c.box);
        ASSERT_TRUE(dialog_->CheckRate()) << c.box;
        EXPECT_EQ(Canvas().CalibrationRate(), c.rate) << c.box;
    }
    for (const char* refused : {"", "0", "-5"}) {
        dialog_->RateBox().setText(refused);
        EXPECT_FALSE(dialog_->CheckRate()) << refused;
    }
    EXPECT_EQ(boxes.Boxes().size(), 3u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Please enter the magnification.");

    dialog_.reset();
    Open({640, 480});
    dialog_->RateBox().setText("30");
    ASSERT_TRUE(dialog_->CheckRate());
    EXPECT_EQ(Canvas().CalibrationRate(), 15);
    dialog_->RateBox().setText("1"); // 1 div 2 = 0: refused, not infinite millimetres
    EXPECT_FALSE(dialog_->CheckRate());
}

TEST_F(PhotoMeasureDlgTest, MenuCommandsSetTheToolAndTheReadout)
{
    Open({640, 480});
    dialog_->SetMenuAnswer(32821); // Measure > Radius Circle
    dialog_->OpenToolMenu(true);
    EXPECT_EQ(Canvas().Tool(), ToolRadiusCircle);
    EXPECT_TRUE(Canvas().IsMeasuring());
    EXPECT_EQ(dialog_->ToolReadout(), "Radius Circle");
    EXPECT_TRUE(dialog_->IsLatched(CPhotoMeasureDlg::IDC_MEASURE));

    dialog_->SetMenuAnswer(32816); // Draw > Three Points Circle
    dialog_->OpenToolMenu(false);
    EXPECT_EQ(Canvas().Tool(), ToolThreePointCircle);
    EXPECT_FALSE(Canvas().IsMeasuring());
    EXPECT_TRUE(dialog_->IsLatched(CPhotoMeasureDlg::IDC_DRAW));
    EXPECT_FALSE(dialog_->IsLatched(CPhotoMeasureDlg::IDC_MEASURE));

    dialog_->SetMenuAnswer(0); // dismissed
    dialog_->OpenToolMenu(true);
    EXPECT_EQ(Canvas().Tool(), ToolNone);
    EXPECT_TRUE(dialog_->ToolReadout().isEmpty());

    MessageBoxRecorder boxes;
    dialog_->RateBox().clear();
    dialog_->SetMenuAnswer(32817); // a Measure command with no rate: refused
    dialog_->OpenToolMenu(true);
    EXPECT_EQ(Canvas().Tool(), ToolNone);
    EXPECT_EQ(boxes.Boxes().size(), 1u);
}

TEST_F(PhotoMeasureDlgTest, PenDialogKeepsTheCanvasPenWhenNothingIsTouched)
{
    Open({640, 480});
    Canvas().penStyle = PenDash;
    Canvas().penWidth = 3;
    dialog_->runSettingsDialog = [](QDialog& dialog) {
        auto& pen = static_cast<CPenSettingDlg&>(dialog);
        pen.show();
        EXPECT_TRUE(pen.StyleButton(PenSolid).isChecked()); // shown whatever the style
        EXPECT_EQ(pen.WidthBox().text(), "1");
        ButtonNamed(pen, "OK")->click();
        return pen.result() == QDialog::Accepted ? Answer::Ok : Answer::Cancel;
    };
    dialog_->OnPenSetting();
    EXPECT_EQ(Canvas().penStyle, PenDash);
    EXPECT_EQ(Canvas().penWidth, 3);
}

TEST_F(PhotoMeasureDlgTest, PenDialogValidatesTheWidthAndDrawsThePreview)
{
    Open({640, 480});
    MessageBoxRecorder boxes;
    dialog_->runSettingsDialog = [&boxes](QDialog& dialog) {
        auto& pen = static_cast<CPenSettingDlg&>(dialog);
        pen.show();
        pen.StyleButton(PenDot).click();
        pen.WidthBox().setText("2");
        EXPECT_EQ(pen.width, 2); // the preview follows at once
        const QImage shot = pen.grab().toImage();
        const QLine line = pen.PreviewLine();
        int red = 0;
        for (int x = line.x1(); x < line.x2(); ++x)
            for (int dy = -1; dy <= 1; ++dy) red += shot.pixelColor(x, line.y1() + dy) == QColor(255, 0, 0);
        EXPECT_GT(red, (line.x2() - line.x1()) / 3); // a dotted red line across the preview
        pen.WidthBox().setText("4");
        ButtonNamed(pen, "OK")->click();
        EXPECT_FALSE(pen.result() == QDialog::Accepted && !pen.isVisible() && boxes.Boxes().empty());
        EXPECT_EQ(boxes.Boxes().size(), 1u); // the range message; the dialog stays open
        pen.WidthBox().setText("3");
        ButtonNamed(pen, "OK")->click();
        return pen.result() == QDialog::Accepted ? Answer::Ok : Answer::Cancel;
    };
    dialog_->OnPenSetting();
    EXPECT_EQ(Canvas().penStyle, PenDot);
    EXPECT_EQ(Canvas().penWidth, 3);
}

TEST_F(PhotoMeasureDlgTest, LabelsCanBeMadeBlueThroughTheFontStep)
{
    Open({640, 480});
    const FontHook previousFont = SetFontHook([](const QFont& initial) { return std::optional<QFont>(initial); });
    const ColorHook previousColour =
        SetColorHook([](const QColor&) { return std::optional<QColor>(QColor(0, 0, 255)); });
    dialog_->runSettingsDialog = [](QDialog& dialog) {
        auto& pen = static_cast<CPenSettingDlg&>(dialog);
        pen.show();
        ButtonNamed(pen, "Font")->click();
        ButtonNamed(pen, "OK")->click();
        return pen.result() == QDialog::Accepted ? Answer::Ok : Answer::Cancel;
    };
    dialog_->OnPenSetting();
    SetFontHook(previousFont);
    SetColorHook(previousColour);
    EXPECT_EQ(ToQColor(Canvas().labelColor), QColor(0, 0, 255));

    // A measured line's label is drawn in it.
    Canvas().SetCalibrationRate(97);
    Canvas().SetTool(ToolLine, true);
    QTest::mouseClick(&Canvas(), Qt::LeftButton, {}, QPoint(100, 200));
    QTest::mouseClick(&Canvas(), Qt::LeftButton, {}, QPoint(300, 200));
    const QImage view = Canvas().ComposedView();
    int blue = 0;
    for (int y = 195; y < 225; ++y)
        for (int x = 195; x < 300; ++x) blue += view.pixelColor(x, y).blue() > 200 && view.pixelColor(x, y).red() < 80;
    EXPECT_GT(blue, 10);
}

TEST_F(PhotoMeasureDlgTest, TextDialogCancelStillSelectsTheTextTool)
{
    Open({640, 480});
    Canvas().SetPendingText("kept");
    dialog_->runSettingsDialog = [](QDialog& dialog) {
        auto& text = static_cast<CTextSettingDlg&>(dialog);
        text.TextBox().setPlainText("ignored");
        return Answer::Cancel;
    };
    dialog_->OnTextSetting();
    EXPECT_EQ(Canvas().Tool(), ToolText);
    EXPECT_EQ(Canvas().PendingText(), "kept");

    QFont chosen("DejaVu Serif");
    chosen.setPixelSize(30);
    Canvas().textFont = chosen;
    dialog_->runSettingsDialog = [](QDialog& dialog) {
        auto& text = static_cast<CTextSettingDlg&>(dialog);
        text.TextBox().setPlainText("two\nlines");
        EXPECT_EQ(text.PreviewText(), "two lines");
        ButtonNamed(text, "OK")->click();
        return Answer::Ok;
    };
    dialog_->OnTextSetting();
    EXPECT_EQ(Canvas().PendingText(), "two\nlines");
    EXPECT_EQ(Canvas().textFont.pixelSize(), 14); // every opening starts from the default font
}

TEST_F(PhotoMeasureDlgTest, OpenReplacesTheCanvasWithAnEmptyShapeList)
{
    Open({320, 240});
    EXPECT_EQ(Canvas().size(), QSize(320, 240));
    Canvas().SetPendingText("a");
    Canvas().SetTool(ToolText, true);
    QTest::mouseClick(&Canvas(), Qt::LeftButton, {}, QPoint(10, 10));
    ASSERT_EQ(Canvas().Shapes().shapeList.size(), 1u);
    const QString other = WritePicture(dir_, "Still_2026-01-02_030406_050X_N0002.bmp", {320, 240});
    const OpenFileHook previous = SetOpenFileHook([&](const SaveFileRequest& request) {
        EXPECT_EQ(request.filter, "bmp Files(*.bmp)|*.bmp|TIFF Files(*.tif)|*.tif|PNG Files(*.png)|*.png");
        return other;
    });
    dialog_->OnOpen();
    SetOpenFileHook(previous);
    EXPECT_TRUE(Canvas().Shapes().shapeList.empty());
    EXPECT_TRUE(Canvas().Shapes().redoStack.empty());
    EXPECT_EQ(Canvas().size(), QSize(640, 480)); // Open always gives 640 x 480
    EXPECT_EQ(dialog_->RateBox().text(), "50");
}

TEST_F(PhotoMeasureDlgTest, SaveReportsSuccessAndFailure)
{
    Open({640, 480});
    MessageBoxRecorder boxes;
    QString answer = dir_.path() + "/out.BMP";
    const SaveFileHook previous = SetSaveFileHook([&](const SaveFileRequest& request) {
        EXPECT_EQ(request.filter,
                  "BMP Files(*.BMP)|*.BMP|JPG Files(*.JPG)|*.JPG|TIFF Files(*.tif)|*.tif|PNG Files(*.png)|*.png||");
        // Beside the picture, not in whatever the working folder is.
        EXPECT_EQ(request.proposedPath, dir_.path() + "/Still_2026-01-02_030405_200X_N0001");
        return answer;
    });
    dialog_->OnSave();
    answer = dir_.path() + "/out.JPG";
    dialog_->OnSave();
    answer = dir_.path() + "/out.tif";
    dialog_->OnSave();
    answer = dir_.path() + "/out.gif";
    dialog_->OnSave();
    SetSaveFileHook(previous);
    ASSERT_EQ(boxes.Boxes().size(), 4u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Saved successfully.");
    EXPECT_EQ(boxes.Boxes()[1].text, "Saved successfully.");
    EXPECT_EQ(boxes.Boxes()[2].text, "Saved successfully.");
    EXPECT_EQ(boxes.Boxes()[3].text, "Saving failed");
    EXPECT_EQ(QImageReader(dir_.path() + "/out.JPG").format(), "jpeg");
    EXPECT_TRUE(QFile::exists(dir_.path() + "/out.tif"));
    EXPECT_FALSE(QFile::exists(dir_.path() + "/out.gif"));
}

TEST_F(PhotoMeasureDlgTest, ClosingAsksOnlyForUnsavedShapesAndCanSaveThem)
{
    Open({640, 480});
    QTest::keyClick(dialog_.get(), Qt::Key_Escape);
    QTest::keyClick(dialog_.get(), Qt::Key_Return);
    EXPECT_TRUE(dialog_->isVisible());
    MessageBoxRecorder boxes(Answer::Cancel);
    // Nothing drawn: it closes without a question.
    dialog_->close();
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_FALSE(dialog_->isVisible());

    dialog_->show();
    Canvas().SetTool(ToolLine, true);
    QTest::mouseClick(&Canvas(), Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseClick(&Canvas(), Qt::LeftButton, {}, QPoint(200, 100));
    ASSERT_TRUE(Canvas().HasUnsavedShapes());
    dialog_->close(); // Cancel
    EXPECT_TRUE(dialog_->isVisible());
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].buttons, MessageButtons::SaveDiscardCancel);

    // Save, but the file dialog is cancelled: the window stays with its shapes.
    boxes.SetAnswer(Answer::Yes);
    const SaveFileHook previous = SetSaveFileHook([](const SaveFileRequest&) { return QString(); });
    dialog_->close();
    EXPECT_TRUE(dialog_->isVisible());
    // Save into a file: then it closes, and the file holds the line.
    const QString target = dir_.path() + "/measured.bmp";
    SetSaveFileHook([&](const SaveFileRequest&) { return target; });
    dialog_->close();
    SetSaveFileHook(previous);
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_TRUE(QFile::exists(target));
    EXPECT_FALSE(Canvas().HasUnsavedShapes());
}

TEST_F(PhotoMeasureDlgTest, LargePicturesFromOtherCamerasOpenAndAbsurdOnesAreRefusedWithTheReason)
{
    // 1600 x 1200 from another camera: opened whole, shown with its shape kept.
    Open({1600, 1200});
    ASSERT_TRUE(dialog_->HasPicture());
    EXPECT_EQ(Canvas().PictureSize(), QSize(1600, 1200));
    EXPECT_DOUBLE_EQ(Canvas().Mapping().scale, 2.5);

    // A bitmap whose header claims 9000 x 8000 (72 megapixels) is refused before decoding.
    MessageBoxRecorder boxes;
    const auto headers = BmpHeaders(9000, 8000, 9000u * 3 * 8000);
    WriteFile(dir_.path() + "/huge.bmp",
              QByteArray(reinterpret_cast<const char*>(headers.data()), 54) + QByteArray(64, '\0'));
    CPhotoMeasureDlg huge(dir_.path() + "/huge.bmp");
    EXPECT_FALSE(huge.HasPicture());
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_TRUE(boxes.Boxes()[0].text.contains("9000 x 8000"));
}
