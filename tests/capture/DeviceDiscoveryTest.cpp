#include "capture/DeviceDiscovery.h"
#include "capture/backend/SimulatedBackend.h"

#include <gtest/gtest.h>

using namespace backend;

TEST(MatchHardwareId, FindsTheIdentifierAnywhereIgnoringCase)
{
    EXPECT_EQ(MatchHardwareId(u"@device:pnp:\\\\?\\usb#vid_5e1a&pid_2c07&mi_00#7&1#{65e8}"), 0);
    EXPECT_EQ(MatchHardwareId(u"ends with VID_5E1A&PID_2C07"), 0);
    EXPECT_EQ(MatchHardwareId(u"usb#vid_046d&pid_0825"), -1);
    EXPECT_EQ(MatchHardwareId(u""), -1);
}

TEST(CaptureDeviceList, ChoosesTheMicroscopeAndKeepsItWhenItMovesRows)
{
    SimulatedBackend backend(false);
    auto webcam = backend.AddDevice("USB\\Vid_046d&Pid_0825", u"Webcam");
    backend.Microscope()->SetPlugged(true);
    // Catalogue order: microscope, webcam. Put another camera in front of the microscope.
    CaptureDeviceList list;
    ASSERT_TRUE(list.Refresh(backend));
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.CurrentRow(), 0);
    EXPECT_EQ(list.CurrentHardwareIdText(), "Vid_5e1a&Pid_2c07");
    EXPECT_EQ(list.Table()[1].hardwareIdIndex, -1);
    const auto moniker = list.Current()->moniker;

    backend.Microscope()->SetPlugged(false);
    auto second = backend.AddDevice("USB\\Vid_5e1a&Pid_2c07", u"Second microscope");
    backend.Microscope()->SetPlugged(true);
    // Now: microscope, webcam, second microscope. Unplug nothing; refresh keeps the same row.
    ASSERT_TRUE(list.Refresh(backend));
    EXPECT_EQ(list.Current()->moniker, moniker);

    // The webcam goes away: the rows move up, the selection follows the device.
    ASSERT_TRUE(list.Select(2));
    webcam->SetPlugged(false);
    ASSERT_TRUE(list.Refresh(backend));
    EXPECT_EQ(list.CurrentRow(), 1);
    EXPECT_EQ(list.Current()->friendlyName, u"Second microscope");
    EXPECT_EQ(
        std::count_if(list.Table().begin(), list.Table().end(), [](const CaptureDevice& d) { return d.selected; }), 1);
}

TEST(CaptureDeviceList, AnEmptyCatalogueKeepsThePreviousTable)
{
    SimulatedBackend backend;
    CaptureDeviceList list;
    ASSERT_TRUE(list.Refresh(backend));
    backend.Microscope()->SetPlugged(false);
    EXPECT_FALSE(list.Refresh(backend));
    EXPECT_EQ(list.Count(), 1);
    EXPECT_TRUE(list.Table()[0].moniker != nullptr);
}

TEST(CaptureDeviceList, AfterTheMicroscopeIsGoneTheNextOneIsChosenOrNone)
{
    SimulatedBackend backend;
    auto webcam = backend.AddDevice("USB\\Vid_046d&Pid_0825", u"Webcam");
    CaptureDeviceList list;
    ASSERT_TRUE(list.Refresh(backend));
    backend.Microscope()->SetPlugged(false);
    EXPECT_FALSE(list.Refresh(backend));
    EXPECT_EQ(list.Current(), nullptr);
    EXPECT_EQ(list.CurrentHardwareId()[0], '\0');
}

TEST(CaptureDeviceList, PresenceNeedsAWholeIdentifierAndForgetsAMissingDevice)
{
    SimulatedBackend backend;
    CaptureDeviceList list;
    EXPECT_FALSE(list.IsDevicePresent(backend));
    EXPECT_EQ(backend.PresenceQueries(), 0); // no identifier: no query at all
    ASSERT_TRUE(list.Refresh(backend));
    EXPECT_TRUE(list.IsDevicePresent(backend));

    // Only a longer identifier (with a revision) is present: not a match.
    backend.Microscope()->SetPlugged(false);
    backend.AddDevice("USB\\Vid_5e1a&Pid_2c07&Rev_0100", u"Revised");
    EXPECT_FALSE(list.IsDevicePresent(backend));
    EXPECT_EQ(list.CurrentHardwareId()[0], '\0');
}

TEST(CaptureDeviceList, IgnoresAnEleventhDevice)
{
    SimulatedBackend backend(false);
    for (int i = 0; i < 12; ++i) backend.AddDevice("USB\\Vid_046d&Pid_08" + std::to_string(10 + i), u"Camera");
    CaptureDeviceList list;
    EXPECT_FALSE(list.Refresh(backend));
    EXPECT_EQ(list.Count(), 10);
}
