#include "capture/backend/VideoNodes.h"

#include <libudev.h>
#include <linux/videodev2.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace backend {

namespace {

struct UdevFree {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
};

std::string Text(const char* value)
{
    return value ? std::string(value) : std::string();
}

// Walks an enumeration's devices, each handed over as a device that is freed afterwards.
template <typename Visit>
void ForEachDevice(udev* context, udev_enumerate* enumeration, Visit visit)
{
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumeration))
    {
        std::unique_ptr<udev_device, UdevFree> device(
            udev_device_new_from_syspath(context, udev_list_entry_get_name(entry)));
        if (device) visit(device.get());
    }
}

// The still button: an input device under the same USB device that reports key events.
std::string ButtonNodeOf(udev* context, udev_device* usb)
{
    if (!usb) return {};
    std::unique_ptr<udev_enumerate, UdevFree> inputs(udev_enumerate_new(context));
    udev_enumerate_add_match_subsystem(inputs.get(), "input");
    udev_enumerate_add_match_parent(inputs.get(), usb);
    udev_enumerate_scan_devices(inputs.get());
    std::string node;
    ForEachDevice(context, inputs.get(), [&node](udev_device* input) {
        const char* devnode = udev_device_get_devnode(input);
        if (node.empty() && devnode && std::strstr(devnode, "/event")) node = devnode;
    });
    return node;
}

} // namespace

std::string DisplayNameOf(const VideoNode& node)
{
    // The shape of a device catalogue name: the bus path with the USB identifier.
    return "@device:v4l2:" + node.devnode + "#usb#Vid_" + node.vendorId + "&Pid_" + node.productId + "#" + node.syspath;
}

std::string StableIdentityOf(const std::string& idSerial, const std::string& vendorId, const std::string& productId,
                             const std::string& index)
{
    if (idSerial.empty() && vendorId.empty()) return {};
    const std::string serial = idSerial.empty() ? vendorId + "_" + productId : idSerial;
    return "usb-" + serial + "-video-index" + (index.empty() ? std::string("0") : index);
}

bool NaturalLess(const std::string& a, const std::string& b)
{
    std::size_t i = 0, j = 0;
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            std::size_t endA = i, endB = j;
            while (endA < a.size() && a[endA] == '0') ++endA; // leading zeros do not count
            while (endB < b.size() && b[endB] == '0') ++endB;
            std::size_t runA = endA, runB = endB;
            while (runA < a.size() && digit(a[runA])) ++runA;
            while (runB < b.size() && digit(b[runB])) ++runB;
            const std::size_t lengthA = runA - endA, lengthB = runB - endB;
            if (lengthA != lengthB) return lengthA < lengthB;
            const int order = a.compare(endA, lengthA, b, endB, lengthB);
            if (order != 0) return order < 0;
            i = runA;
            j = runB;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

std::vector<VideoNode> SelectCaptureNodes(std::vector<UdevNodeRecord> records, const DeviceCapsProbe& probe)
{
    std::vector<VideoNode> nodes;
    for (UdevNodeRecord& record : records) {
        if (!record.capabilities.empty() && record.capabilities.find(":capture:") == std::string::npos) continue;
        if (probe) {
            const std::optional<std::uint32_t> caps = probe(record.node.devnode);
            if (caps && !(*caps & V4L2_CAP_VIDEO_CAPTURE)) continue;
        }
        nodes.push_back(std::move(record.node));
    }
    std::sort(nodes.begin(), nodes.end(),
              [](const VideoNode& a, const VideoNode& b) { return NaturalLess(a.devnode, b.devnode); });
    return nodes;
}

std::vector<VideoNode> UdevVideoNodes::CaptureNodes()
{
    std::vector<UdevNodeRecord> records;
    std::unique_ptr<udev, UdevFree> context(udev_new());
    if (!context) return {};
    std::unique_ptr<udev_enumerate, UdevFree> enumeration(udev_enumerate_new(context.get()));
    udev_enumerate_add_match_subsystem(enumeration.get(), "video4linux");
    udev_enumerate_scan_devices(enumeration.get());
    ForEachDevice(context.get(), enumeration.get(), [&](udev_device* device) {
        const char* devnode = udev_device_get_devnode(device);
        if (!devnode) return;
        UdevNodeRecord record;
        record.capabilities = Text(udev_device_get_property_value(device, "ID_V4L_CAPABILITIES"));
        VideoNode& node = record.node;
        node.devnode = devnode;
        node.syspath = Text(udev_device_get_syspath(device));
        node.name = Text(udev_device_get_property_value(device, "ID_V4L_PRODUCT"));
        if (node.name.empty()) node.name = Text(udev_device_get_sysattr_value(device, "name"));
        udev_device* usb = udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device");
        if (usb) {
            node.vendorId = Text(udev_device_get_sysattr_value(usb, "idVendor"));
            node.productId = Text(udev_device_get_sysattr_value(usb, "idProduct"));
        }
        node.buttonNode = ButtonNodeOf(context.get(), usb);
        node.identity = StableIdentityOf(Text(udev_device_get_property_value(device, "ID_SERIAL")), node.vendorId,
                                         node.productId, Text(udev_device_get_sysattr_value(device, "index")));
        records.push_back(std::move(record));
    });
    return SelectCaptureNodes(std::move(records), probe_);
}

std::vector<std::string> UdevVideoNodes::UsbHardwareIds()
{
    std::vector<std::string> ids;
    std::unique_ptr<udev, UdevFree> context(udev_new());
    if (!context) return ids;
    std::unique_ptr<udev_enumerate, UdevFree> enumeration(udev_enumerate_new(context.get()));
    udev_enumerate_add_match_subsystem(enumeration.get(), "usb");
    udev_enumerate_add_match_property(enumeration.get(), "DEVTYPE", "usb_device");
    udev_enumerate_scan_devices(enumeration.get());
    ForEachDevice(context.get(), enumeration.get(), [&ids](udev_device* device) {
        const std::string vendor = Text(udev_device_get_sysattr_value(device, "idVendor"));
        const std::string product = Text(udev_device_get_sysattr_value(device, "idProduct"));
        if (!vendor.empty() && !product.empty()) ids.push_back("USB\\Vid_" + vendor + "&Pid_" + product);
    });
    return ids;
}

} // namespace backend
