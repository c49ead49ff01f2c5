#pragma once
// The computer's V4L2 capture nodes and USB devices, as udev knows them.

#include <string>
#include <vector>

namespace backend {

struct VideoNode {
    std::string devnode;     // /dev/videoN
    std::string syspath;     // stable across listings while the device stays plugged in
    std::string vendorId;    // USB vendor id, four hex digits
    std::string productId;   // USB product id
    std::string name;        // the name the camera reports
    std::string buttonNode;  // /dev/input/eventN of the camera's still button, or empty
};

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

class UdevVideoNodes : public VideoNodeSource {
public:
    std::vector<VideoNode> CaptureNodes() override;
    std::vector<std::string> UsbHardwareIds() override;
};

} // namespace backend
