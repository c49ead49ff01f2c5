#include "capture/CaptureConfig.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

TEST(CaptureConfig, ReadsExactly88BytesAndTakesTheFirst88OfALongerFile)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/CapConfig.dat";
    VideoInfoHeader format;
    EXPECT_FALSE(ReadCaptureConfig(path, format)); // missing

    VideoInfoHeader stored;
    stored.width = 640;
    stored.height = 480;
    stored.bitCount = 16;
    stored.averageTimePerFrame = 333333;
    stored.compression = MakeFourCC('Y', 'U', 'Y', '2');
    WriteCaptureConfig(path, stored);
    EXPECT_EQ(ReadFile(path).size(), 88);
    ASSERT_TRUE(ReadCaptureConfig(path, format));
    EXPECT_EQ(format, stored);

    WriteFile(path, ReadFile(path) + QByteArray(12, 'z')); // 100 bytes
    VideoInfoHeader fromLonger;
    ASSERT_TRUE(ReadCaptureConfig(path, fromLonger));
    EXPECT_EQ(fromLonger, stored);

    WriteFile(path, ReadFile(path).left(87));
    VideoInfoHeader untouched;
    untouched.width = 12345;
    EXPECT_FALSE(ReadCaptureConfig(path, untouched));
    EXPECT_EQ(untouched.width, 12345);
}

TEST(CaptureConfig, RecordLayoutIsLittleEndianAtTheFixedOffsets)
{
    VideoInfoHeader h;
    h.bitRate = 0x01020304;
    h.averageTimePerFrame = 666666;
    h.width = 1280;
    h.height = 1024;
    h.bitCount = 24;
    h.imageSize = 3932160;
    const auto bytes = h.ToBytes();
    EXPECT_EQ(bytes[32], 0x04);
    EXPECT_EQ(bytes[35], 0x01);
    EXPECT_EQ(bytes[48], 40); // header size
    EXPECT_EQ(bytes[52] | (bytes[53] << 8), 1280);
    EXPECT_EQ(bytes[62], 24);
    EXPECT_EQ(VideoInfoHeader::FromBytes(bytes.data()), h);
}

TEST(CaptureConfig, FormatArithmetic)
{
    EXPECT_EQ(FramesPerSecond(666666), 15u);
    EXPECT_EQ(FramesPerSecond(333333), 30u);
    EXPECT_EQ(FramesPerSecond(0), 0u); // no interval: no rate, never a division by zero
    EXPECT_EQ(ImageSizeFor(640, 480, 16), 614400u);
    EXPECT_EQ(ImageSizeFor(640, 480, 24), 921600u);
    EXPECT_EQ(ImageSizeFor(640, 480, 12), 307200u);

    VideoInfoHeader saved;
    saved.averageTimePerFrame = 666666;
    VideoInfoHeader block;
    block.compression = 42;
    ApplyDefaultFormat(block, saved);
    EXPECT_EQ(block.width, 1280);
    EXPECT_EQ(block.height, 1024);
    EXPECT_EQ(block.imageSize, 2621440u);
    EXPECT_EQ(block.bitRate, 15u * 20971520u);
    EXPECT_EQ(block.compression, 42u);
}

TEST(CaptureConfig, AbsurdRecordsAreNotPlausible)
{
    VideoInfoHeader h;
    h.width = 640;
    h.height = 480;
    h.bitCount = 16;
    EXPECT_TRUE(IsPlausibleFormat(h));
    for (auto broken : {std::pair{0, 480}, std::pair{-640, 480}, std::pair{640, 0}, std::pair{100000, 480}}) {
        VideoInfoHeader b = h;
        b.width = broken.first;
        b.height = broken.second;
        EXPECT_FALSE(IsPlausibleFormat(b)) << broken.first << "x" << broken.second;
    }
    VideoInfoHeader bits = h;
    bits.bitCount = 0;
    EXPECT_FALSE(IsPlausibleFormat(bits));
}
