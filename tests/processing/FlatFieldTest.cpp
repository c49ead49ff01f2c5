// Even light, against the simulated microscope's known lamp: a blank field evens out, and a
// specimen comes out as it looks under an even lamp.
#include "processing/FlatField.h"
#include "capture/backend/SlideRenderer.h"
#include "processing/FlatFieldStore.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace {

constexpr int kWidth = 640, kHeight = 480;

Frame Render(const SlideRenderer& renderer, SimulatedOptics optics, double seconds = 1.0, int darkOffset = 0)
{
    Frame frame;
    frame.width = renderer.Width();
    frame.height = renderer.Height();
    frame.stride = Frame::StrideOf(frame.width);
    frame.pixels.resize(frame.Bytes());
    renderer.RenderFrame(seconds, frame.pixels.data(), nullptr, optics);
    // A sensor that reads a little above black without light.
    if (darkOffset)
        for (auto& v : frame.pixels) v = static_cast<std::uint8_t>(std::min(255, v + darkOffset));
    return frame;
}

// Standard deviation over mean of the frame's grey levels.
double Spread(const Frame& frame)
{
    double sum = 0, squares = 0;
    const double n = static_cast<double>(frame.width) * frame.height;
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x) {
            const std::uint8_t* p = frame.Row(y) + x * 3;
            const double grey = (p[0] + p[1] + p[2]) / 3.0;
            sum += grey;
            squares += grey * grey;
        }
    const double mean = sum / n;
    return std::sqrt(std::max(0.0, squares / n - mean * mean)) / mean;
}

double MeanDifference(const Frame& a, const Frame& b)
{
    double sum = 0;
    for (int y = 0; y < a.height; ++y)
        for (int i = 0; i < a.width * 3; ++i) sum += std::abs(a.Row(y)[i] - b.Row(y)[i]);
    return sum / (static_cast<double>(a.width) * a.height * 3);
}

void TakeReference(FlatFieldCorrection& step, FlatFieldCorrection::Capture what, const std::function<Frame()>& next)
{
    bool done = false;
    step.StartCapture(what, 16, [&](const FlatFieldReference& taken) {
        step.SetReference(taken);
        done = true;
    });
    for (int i = 0; i < 16; ++i) {
        Frame frame = next();
        const std::vector<std::uint8_t> before = frame.pixels;
        step.Process(frame);
        EXPECT_EQ(frame.pixels, before); // frames are not corrected while a reference is taken
    }
    ASSERT_TRUE(done);
}

} // namespace

TEST(FlatField, ABlankFieldUnderTheUnevenLampComesOutEven)
{
    SlideRenderer renderer;
    renderer.Prepare(kWidth, kHeight);
    SimulatedOptics blank;
    blank.blankField = blank.unevenLamp = true;
    const double before = Spread(Render(renderer, blank));
    EXPECT_GE(before, 0.10);

    FlatFieldCorrection step;
    TakeReference(step, FlatFieldCorrection::Capture::White, [&] { return Render(renderer, blank); });
    Frame frame = Render(renderer, blank, 7.0);
    step.Process(frame);
    const double after = Spread(frame);
    EXPECT_LE(after, 0.02);
    std::printf("[ figures  ] blank field spread: %.1f %% under the lamp, %.2f %% corrected\n", before * 100,
                after * 100);
}

TEST(FlatField, ASpecimenCorrectedLooksAsUnderAnEvenLampWithAndWithoutADarkFrame)
{
    SlideRenderer renderer;
    renderer.Prepare(kWidth, kHeight);
    SimulatedOptics even, uneven, blankUneven;
    uneven.unevenLamp = true;
    blankUneven.unevenLamp = blankUneven.blankField = true;
    // The truth: the same specimen under an even lamp, scaled to the corrected field's
    // average brightness (the correction keeps the mean, not the lamp's peak).
    FlatFieldCorrection step;
    TakeReference(step, FlatFieldCorrection::Capture::White, [&] { return Render(renderer, blankUneven); });
    double meanGain = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) meanGain += renderer.LampGain(x, y);
    meanGain /= static_cast<double>(kWidth) * kHeight;
    Frame truth = Render(renderer, even);
    for (auto& v : truth.pixels) v = static_cast<std::uint8_t>(std::lround(v * meanGain));

    Frame raw = Render(renderer, uneven);
    const double uncorrected = MeanDifference(raw, truth);
    step.Process(raw);
    const double corrected = MeanDifference(raw, truth);
    EXPECT_LT(corrected, 2.5);
    EXPECT_GT(uncorrected, 4 * corrected);

    // A sensor with an offset of 24 without light: the dark frame takes it out.
    FlatFieldCorrection withDark;
    TakeReference(withDark, FlatFieldCorrection::Capture::Dark, [&] {
        Frame dark;
        dark.width = kWidth;
        dark.height = kHeight;
        dark.stride = Frame::StrideOf(kWidth);
        dark.pixels.assign(dark.Bytes(), 24);
        return dark;
    });
    TakeReference(withDark, FlatFieldCorrection::Capture::White,
                  [&] { return Render(renderer, blankUneven, 1.0, 24); });
    ASSERT_FALSE(withDark.Reference()->dark.empty()); // the dark frame stayed with the new reference
    Frame offset = Render(renderer, uneven, 1.0, 24);
    withDark.Process(offset);
    const double darkCorrected = MeanDifference(offset, truth);
    EXPECT_LT(darkCorrected, 3.0);
    std::printf("[ figures  ] specimen vs even lamp: %.2f levels uncorrected, %.2f corrected, %.2f with a dark frame\n",
                uncorrected, corrected, darkCorrected);
}

TEST(FlatField, OffOrAReferenceOfAnotherSizeLeavesFramesAlone)
{
    SlideRenderer small, large;
    small.Prepare(320, 240);
    large.Prepare(kWidth, kHeight);
    SimulatedOptics blank;
    blank.blankField = blank.unevenLamp = true;
    FlatFieldCorrection step;
    TakeReference(step, FlatFieldCorrection::Capture::White, [&] { return Render(small, blank); });
    Frame frame = Render(large, blank);
    const auto before = frame.pixels;
    step.Process(frame);
    EXPECT_EQ(frame.pixels, before);
    Frame fitting = Render(small, blank);
    const auto unchanged = fitting.pixels;
    step.SetEnabled(false);
    step.Process(fitting);
    EXPECT_EQ(fitting.pixels, unchanged);
}

TEST(FlatFieldStore, KeepsAReferencePerMicroscopeAndSizeAndRefusesDamagedFiles)
{
    QTemporaryDir dir;
    FlatFieldStore store(dir.path() + "/config");
    FlatFieldReference reference;
    reference.width = 4;
    reference.height = 2;
    for (int i = 0; i < 24; ++i) reference.white.push_back(100.0f + i * 3.25f);
    reference.dark.assign(24, 12.5f);
    QString error;
    ASSERT_TRUE(store.Save("usb-QRV_DM500_A1", reference, &error)) << error.toStdString();
    const auto loaded = store.Load("usb-QRV_DM500_A1", 4, 2);
    ASSERT_TRUE(loaded);
    for (int i = 0; i < 24; ++i)
        EXPECT_NEAR(loaded->white[static_cast<std::size_t>(i)], reference.white[static_cast<std::size_t>(i)],
                    1.0 / 256);
    EXPECT_EQ(loaded->dark.size(), 24u);
    EXPECT_FALSE(store.Load("usb-QRV_DM500_B2", 4, 2)); // another microscope
    EXPECT_FALSE(store.Load("usb-QRV_DM500_A1", 8, 4)); // another size

    // Damaged: cut, a lying header, a foreign file. Each is refused with a reason.
    const QByteArray whole = FlatFieldStore::Encode(reference);
    for (const QByteArray& bad : {whole.left(whole.size() - 5), QByteArray(whole).replace(8, 4, "\xff\xff\x00\x00"),
                                  QByteArray("not a reference at all"), whole.left(20)}) {
        QString why;
        EXPECT_FALSE(FlatFieldStore::Decode(bad, &why));
        EXPECT_FALSE(why.isEmpty());
    }
    EXPECT_TRUE(store.Remove("usb-QRV_DM500_A1", 4, 2));
    EXPECT_FALSE(store.Load("usb-QRV_DM500_A1", 4, 2));
}
