// A flat-field reference file as it may be found in the configuration folder (cut short,
// damaged, written by something else): it is read, and a reference that is accepted is used
// on a frame of its size.
#include "FuzzSupport.h"
#include "processing/FlatField.h"
#include "processing/FlatFieldStore.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QString error;
    std::optional<FlatFieldReference> reference = FlatFieldStore::Decode(bytes, &error);
    if (!reference || static_cast<long long>(reference->width) * reference->height > 4096 * 4096) return 0;
    FlatFieldCorrection step;
    step.SetReference(reference);
    Frame frame;
    frame.width = reference->width;
    frame.height = reference->height;
    frame.stride = Frame::StrideOf(frame.width);
    frame.pixels.assign(frame.Bytes(), 128);
    step.Process(frame);
    return 0;
}
