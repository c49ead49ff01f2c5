#pragma once
// The computer's V4L2 capture nodes and USB devices, as udev knows them.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace backend {

struct VideoNode {
    std::string devnode;    // /dev/videoN
    std::string syspath;    // stable across listings while the device stays plugged in
    std::string vendorId;   // USB vendor id, four hex digits
    std::string productId;  // USB product id
    std::string name;       // the name the camera reports
    std::string buttonNode; // /dev/input/eventN of the camera's still button, or empty
    std::string identity;   // the /dev/v4l/by-id name: the same camera after any replug
};

// The name udev gives the node under /dev/v4l/by-id: "usb-" ID_SERIAL "-video-index" N.
// ID_SERIAL carries the USB serial number where the camera has one; without ID_SERIAL the
// USB identifiers stand in. Empty for a node that is not on USB.
std::string StableIdentityOf(const std::string& idSerial, const std::string& vendorId, const std::string& productId,
                             const std::string& index);

class VideoNodeSource {
public:
    virtual ~VideoNodeSource() = default;
    // Capture-capable video nodes, in a stable order.
    virtual std::vector<VideoNode> CaptureNodes() = 0;
    // Hardware identifiers of the present USB devices, as "USB\Vid_xxxx&Pid_yyyy".
    virtual std::vector<std::string> UsbHardwareIds() = 0;
};

// The display name the engine matches: it carries "Vid_xxxx&Pid_yyyy".
std::string DisplayNameOf(const VideoNode& node);

// What udev says of one video4linux node.
struct UdevNodeRecord {
    VideoNode node;
    std::string capabilities; // ID_V4L_CAPABILITIES, e.g. ":capture:"; empty when udev has none
};

// The device capabilities (V4L2_CAP_*) a node reports, or none when it cannot be asked.
using DeviceCapsProbe = std::function<std::optional<std::uint32_t>(const std::string& devnode)>;

// The cameras among the nodes: a node is one when its own device capabilities include video
// capture. udev's ID_V4L_CAPABILITIES rules a node out early; older udev versions label a
// camera's metadata node ":capture:" too, so the node itself is asked as well. A node that
// cannot be asked (no permission) stays, so opening it can say why it fails. Sorted
// naturally by node: video2 before video10.
std::vector<VideoNode> SelectCaptureNodes(std::vector<UdevNodeRecord> records, const DeviceCapsProbe& probe);

// "video2" < "video10": runs of digits compare by their value.
bool NaturalLess(const std::string& a, const std::string& b);

class UdevVideoNodes : public VideoNodeSource {
public:
    explicit UdevVideoNodes(DeviceCapsProbe probe) : probe_(std::move(probe)) {}
    std::vector<VideoNode> CaptureNodes() override;
    std::vector<std::string> UsbHardwareIds() override;

private:
    DeviceCapsProbe probe_;
};

} // namespace backend
