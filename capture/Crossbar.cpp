#include "capture/Crossbar.h"

CCrossbar::CCrossbar(const backend::CaptureSource& source)
{
    for (int input = 0; input < source.AnalogInputCount(); ++input)
        if (source.CanRoute(input)) routingList_.push_back(input);
}
