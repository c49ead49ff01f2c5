#pragma once
// The table of video input devices and the choice of the microscope among them, by the
// USB hardware identifier that the catalogue name carries.

#include "capture/backend/CaptureBackend.h"

#include <array>
#include <memory>
#include <string>

constexpr int kDeviceTableRows = 10;
constexpr std::size_t kNameUnits = 256; // UTF-16 units, terminator included
constexpr std::size_t kHardwareIdBytes = 256;

// Identifiers that make a device a supported microscope; index 0 is the QRV-DM500.
inline constexpr std::array<const char*, 1> KnownHardwareIds = {"Vid_5e1a&Pid_2c07"};

struct CaptureDevice {
    std::int32_t hardwareIdIndex = -1; // into KnownHardwareIds, -1 when none or empty row
    std::int32_t selected = 0;
    std::u16string displayName; // at most kNameUnits - 1 units
    std::u16string friendlyName;
    std::shared_ptr<const backend::DeviceHandle> moniker; // none on an empty row
    std::string identity;                                 // names the camera across replugs; empty when unknown
};

using DeviceTable = std::array<CaptureDevice, kDeviceTableRows>;

// Index into KnownHardwareIds of the first identifier found anywhere in the name (letter
// case ignored), or -1.
std::int32_t MatchHardwareId(const std::u16string& displayName);

class CaptureDeviceList {
public:
    // Re-reads the catalogue. Keeps the selection when its device is still listed (even on
    // another row), otherwise chooses a microscope. True when a current device exists.
    // A failed or empty catalogue leaves the table untouched and returns false.
    bool Refresh(backend::CaptureBackend& backend);

    // "USB\<CurrentHardwareId>" is present; false at once without a current identifier.
    // A device found absent clears CurrentHardwareId.
    bool IsDevicePresent(backend::CaptureBackend& backend);

    // Makes `row` the current device. False when the row is empty or already current
    // (nothing changes then).
    bool Select(int row);

    const DeviceTable& Table() const { return rows_; }
    int Count() const { return count_; }
    void ResetCount() { count_ = 0; }
    const CaptureDevice* Current() const { return current_ >= 0 ? &rows_[current_] : nullptr; }
    int CurrentRow() const { return current_; }
    const std::array<char, kHardwareIdBytes>& CurrentHardwareId() const { return currentHardwareId_; }
    std::string CurrentHardwareIdText() const { return currentHardwareId_.data(); }

private:
    void SetCurrentHardwareId(std::int32_t index);

    DeviceTable rows_{};
    int count_ = 0;
    int current_ = -1;
    std::array<char, kHardwareIdBytes> currentHardwareId_{};
};
