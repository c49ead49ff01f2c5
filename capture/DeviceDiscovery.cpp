#include "capture/DeviceDiscovery.h"

#include <cctype>
#include <cstring>

namespace {

std::u16string Fit(const std::u16string& text)
{
    return text.size() < kNameUnits ? text : text.substr(0, kNameUnits - 1);
}

std::string ToAnsi(const std::u16string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

bool StartsWithIgnoringCase(const char* text, const char* prefix)
{
    for (; *prefix; ++text, ++prefix) {
        if (!*text) return false;
        if (std::tolower(static_cast<unsigned char>(*text)) != std::tolower(static_cast<unsigned char>(*prefix)))
            return false;
    }
    return true;
}

} // namespace

std::int32_t MatchHardwareId(const std::u16string& displayName)
{
    const std::string name = ToAnsi(displayName);
    for (std::size_t index = 0; index < KnownHardwareIds.size(); ++index) {
        const char* id = KnownHardwareIds[index];
        for (std::size_t start = 0; start + std::strlen(id) <= name.size(); ++start)
            if (StartsWithIgnoringCase(name.c_str() + start, id)) return static_cast<std::int32_t>(index);
    }
    return -1;
}

bool CaptureDeviceList::Refresh(backend::CaptureBackend& backend)
{
    std::vector<backend::CatalogueEntry> entries;
    if (!backend.ListDevices(entries) || entries.empty()) return false;

    DeviceTable scratch{};
    int filled = 0;
    for (const auto& entry : entries) {
        if (filled == kDeviceTableRows) break; // an eleventh device is left out
        if (!entry.handle) continue;
        CaptureDevice& row = scratch[filled++];
        row.displayName = Fit(entry.displayName);
        row.friendlyName = Fit(entry.friendlyName);
        row.moniker = entry.handle;
        row.identity = entry.identity;
    }
    for (auto& row : scratch) row.hardwareIdIndex = row.moniker ? MatchHardwareId(row.displayName) : -1;
    count_ = filled;

    // Carry the selection over to the row that now holds the same device.
    bool kept = false;
    for (auto& old : rows_) {
        if (old.selected == 1 && old.moniker) {
            for (auto& row : scratch) {
                if (row.moniker && row.moniker->IsEqual(*old.moniker)) {
                    row.moniker = old.moniker;
                    row.selected = 1;
                    row.hardwareIdIndex = old.hardwareIdIndex;
                    row.displayName = old.displayName;
                    row.friendlyName = old.friendlyName;
                    row.identity = old.identity;
                    kept = true;
                    break;
                }
            }
        }
        old.selected = 0;
    }
    rows_ = std::move(scratch);
    current_ = -1;
    for (int i = 0; i < kDeviceTableRows; ++i)
        if (rows_[i].selected == 1) current_ = i;
    if (kept) return true;

    int best = -1;
    for (int i = 0; i < kDeviceTableRows; ++i) {
        const auto& row = rows_[i];
        if (row.moniker && row.hardwareIdIndex >= 0 && (best < 0 || row.hardwareIdIndex < rows_[best].hardwareIdIndex))
            best = i;
    }
    if (best < 0) {
        currentHardwareId_.fill(0);
        current_ = -1;
        return false;
    }
    SetCurrentHardwareId(rows_[best].hardwareIdIndex);
    rows_[best].selected = 1;
    current_ = best;
    return true;
}

bool CaptureDeviceList::IsDevicePresent(backend::CaptureBackend& backend)
{
    if (currentHardwareId_[0] == '\0') return false;
    const std::string text = std::string("USB\\") + currentHardwareId_.data();
    if (backend.IsHardwareIdPresent(text)) return true;
    currentHardwareId_.fill(0);
    return false;
}

bool CaptureDeviceList::Select(int row)
{
    if (row < 0 || row >= kDeviceTableRows || !rows_[row].moniker) return false;
    if (current_ >= 0 && rows_[current_].moniker == rows_[row].moniker) return false;
    if (current_ >= 0) rows_[current_].selected = 0;
    current_ = row;
    rows_[row].selected = 1;
    SetCurrentHardwareId(rows_[row].hardwareIdIndex);
    return true;
}

void CaptureDeviceList::SetCurrentHardwareId(std::int32_t index)
{
    currentHardwareId_.fill(0);
    if (index < 0 || static_cast<std::size_t>(index) >= KnownHardwareIds.size()) return;
    std::strncpy(currentHardwareId_.data(), KnownHardwareIds[static_cast<std::size_t>(index)], kHardwareIdBytes - 1);
}
