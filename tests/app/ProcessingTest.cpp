// The processing stage as a user meets it in the window: even light taken from the Flat
// field dialog on the simulated microscope's uneven lamp, shown, saved in stills and back
// after a restart; the focus meter following the simulated focus knob.
#include "TestSupport.h"
#include "app/Commands.h"
#include "app/MainDialog.h"
#include "app/SimulationKeys.h"
#include "app/SingleInstance.h"
#include "app/settings/FlatFieldControl.h"
#include "app/settings/FlatFieldDlg.h"
#include "capture/CaptureGraph.h"
#include "capture/backend/SimulatedBackend.h"
#include "processing/FocusMeter.h"
#include "tests/app/MainWindowFixture.h"

#include <QCheckBox>
#include <QImage>
#include <QIntValidator>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QUuid>

#include <gtest/gtest.h>

#include <cmath>

namespace {

double Spread(const QImage& picture)
{
    double sum = 0, squares = 0;
    const double n = static_cast<double>(picture.width()) * picture.height();
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const double grey = qGray(picture.pixel(x, y));
            sum += grey;
            squares += grey * grey;
        }
    const double mean = sum / n;
    return std::sqrt(std::max(0.0, squares / n - mean * mean)) / mean;
}

QImage HeldPicture(const CCaptureGraph& engine)
{
    const SharedFrame frame = engine.CurrentFrame().Get();
    if (!frame) return {};
    QImage picture(frame->width, frame->height, QImage::Format_RGB32);
    for (int y = 0; y < frame->height; ++y)
        for (int x = 0; x < frame->width; ++x) {
            const std::uint8_t* p = frame->Row(y) + x * 3;
            picture.setPixel(x, y, qRgb(p[2], p[1], p[0]));
        }
    return picture;
}

class ProcessingTest : public MainWindowFixture {
protected:
    void SetUp() override
    {
        backend_ = std::make_unique<backend::SimulatedBackend>(true);
        backend_->Microscope()->SetUnevenLamp(true);
        backend_->Microscope()->SetBlankField(true);
    }
    void Start()
    {
        OpenWindow();
        dialog_->show();
        ASSERT_TRUE(WaitUntil([&] { return dialog_->Engine().LastFrameWidth() > 0; }, 30000));
    }
    void Restart()
    {
        CloseWindow();
        Start();
    }
    // Waits until frames captured after now have been processed and shown (by their numbers,
    // not by the clock: a checked build runs the frame path many times slower). Up to four
    // frames may already be on their way (the camera's, the stage's queue and its worker).
    void WaitForNewFrames(int count = 6)
    {
        const auto sequence = [&] {
            const SharedFrame frame = dialog_->Engine().CurrentFrame().Get();
            return frame ? frame->sequence : 0;
        };
        const std::uint64_t from = sequence();
        EXPECT_TRUE(WaitUntil([&] { return sequence() >= from + static_cast<std::uint64_t>(count); }, 60000));
    }
    // The spread of the frame on show, once frames taken after now have come.
    double HeldSpread()
    {
        WaitForNewFrames();
        return Spread(HeldPicture(dialog_->Engine()));
    }
};

} // namespace

TEST_F(ProcessingTest, EvenLightTakenFromTheDialogIsShownSavedAndComesBackAfterARestart)
{
    Start();
    const double uneven = HeldSpread();
    EXPECT_GE(uneven, 0.10);
    QString status;
    dialog_->dialogRunner = [&](CModalDialog& shown) {
        auto& flat = dynamic_cast<CFlatFieldDlg&>(shown);
        EXPECT_FALSE(flat.OnBox().isEnabled()); // nothing to switch on yet
        flat.TakeReferenceButton().click();
        EXPECT_FALSE(flat.TakeReferenceButton().isEnabled()); // while it is taken
        EXPECT_TRUE(WaitUntil([&] { return flat.OnBox().isChecked(); }, 120000));
        status = flat.Status();
    };
    dialog_->OnCommand(ID_SETTING_FLATFIELD);
    EXPECT_TRUE(status.startsWith("Reference for 1280 x 1024"));
    EXPECT_LE(HeldSpread(), 0.02);

    // A still is what is shown: even too.
    PressKey(Qt::Key_F2);
    ASSERT_TRUE(WaitUntil([&] { return !dialog_->LastPicturePath().isEmpty(); }, 30000));
    EXPECT_LE(Spread(QImage(dialog_->LastPicturePath())), 0.02);

    // The reference belongs to the microscope and size: back after a restart.
    Restart();
    EXPECT_TRUE(dialog_->FlatField().IsOn());
    EXPECT_LE(HeldSpread(), 0.02);
    // Another capture size has no reference of its own.
    PressKey(Qt::Key_F11);
    ASSERT_TRUE(WaitUntil([&] { return dialog_->Engine().LastFrameWidth() == 640; }, 30000));
    EXPECT_FALSE(dialog_->FlatField().HasReference());
    EXPECT_GE(HeldSpread(), 0.10);
    PressKey(Qt::Key_F12);
    ASSERT_TRUE(WaitUntil([&] { return dialog_->Engine().LastFrameWidth() == 1280; }, 30000));
    // Switched off, it stays off after a restart, with its reference kept.
    dialog_->FlatField().SetOn(false);
    EXPECT_GE(HeldSpread(), 0.10);
    Restart();
    EXPECT_TRUE(dialog_->FlatField().HasReference());
    EXPECT_FALSE(dialog_->FlatField().IsOn());
}

TEST_F(ProcessingTest, TheFocusMeterFollowsTheKnobAndPeaksAtTheBestFocus)
{
    backend_->Microscope()->SetBlankField(false);
    backend_->Microscope()->SetFocus(10);
    Start();
    FocusMeter& meter = dialog_->Focus();
    WaitForNewFrames();
    const double blurred = meter.Sharpness();
    backend_->Microscope()->SetFocus(SimulatedOptics::kSimulatedBestFocus);
    WaitForNewFrames();
    const double sharp = meter.Sharpness();
    EXPECT_GT(sharp, 10 * blurred);
    EXPECT_DOUBLE_EQ(meter.Best(), std::max(meter.Best(), sharp));
    backend_->Microscope()->SetFocus(90);
    WaitForNewFrames();
    EXPECT_LT(meter.Sharpness(), meter.Best() / 10); // past the best: it falls again
    // Peaking from the preview's pop-up menu.
    EXPECT_FALSE(meter.Peaking());
    dialog_->OnCommand(ID_OVERLAY_PEAKING);
    EXPECT_TRUE(meter.Peaking());
    EXPECT_TRUE(WaitUntil([&] { return meter.Mask() != nullptr; }, 30000));
}

TEST(SimulationKeys, TheKnobsTakeOnlyKeysTheFocusedControlLeavesUnused)
{
    backend::SimulatedBackend simulated(true);
    const std::shared_ptr<backend::SimulatedDevice> device = simulated.Microscope();
    SimulationKeys keys(device);
    qApp->installEventFilter(&keys);
    QWidget window;
    auto* slider = new QSlider(Qt::Horizontal, &window);
    auto* plain = new QWidget(&window);
    plain->setFocusPolicy(Qt::StrongFocus);
    window.show();
    const int focus = device->Focus();

    // A slider's Page Up moves the slider, not the focus knob.
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_PageUp);
    EXPECT_GT(slider->value(), 0);
    EXPECT_EQ(device->Focus(), focus);

    // A key the focused control does not use reaches the window: the knob turns.
    plain->setFocus();
    QTest::keyClick(plain, Qt::Key_PageUp);
    EXPECT_EQ(device->Focus(), focus + SimulationKeys::kFocusStep);

    // Ctrl+arrows move the stage from a number box (the magnification's), but stay a text
    // box's own word jumps.
    auto* number = new QLineEdit(&window);
    number->setValidator(new QIntValidator(1, 9999, number));
    auto* text = new QLineEdit(QStringLiteral("two words"), &window);
    number->show();
    text->show();
    const StagePosition before = device->Stage();
    number->setFocus();
    QTest::keyClick(number, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_GT(device->Stage().x, before.x);
    const StagePosition moved = device->Stage();
    text->setFocus();
    text->setCursorPosition(0);
    QTest::keyClick(text, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(device->Stage().x, moved.x);
    EXPECT_GT(text->cursorPosition(), 0);
    qApp->removeEventFilter(&keys);
}
