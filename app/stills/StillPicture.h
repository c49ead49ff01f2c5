#pragma once
// Still pictures: the running number, the file name and the 24-bit BMP written from the
// frame the capture engine holds.

#include <QDateTime>
#include "framework/Frame.h"
#include "framework/RunningNumber.h"
#include "media/PictureWriter.h"
#include "media/StillNames.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

// "Still_2009-05-14_153045_N0007.bmp", or with a magnification "..._200X_N0008.bmp"; the
// extension is the format's ("tif", "png").
// `tag` goes before the running number ("..._200X_EDF_N0009.bmp" for an all-in-focus one).
QString StillPictureName(const QDateTime& time, int magnification, int runningNumber,
                         const QString& extension = QStringLiteral("bmp"), const QString& tag = {});

// The 14-byte file header and the 40-byte information header of a 24-bit picture.
std::vector<std::uint8_t> BmpHeaders(std::int32_t width, std::int32_t height, std::uint32_t imageSize);
// The whole 24-bit bitmap file of a frame: headers, then its rows bottom-up.
QByteArray BmpFile(const Frame& frame);

struct StillSaveResult {
    enum Outcome { Saved, Dropped, Failed } outcome = Dropped;
    QString path;  // the picture written (Saved) or the one that could not be (Failed)
    QString error; // why it failed
};

class HeldFrame;
class StillTrigger;

// How a still is written: its format, and what the file says beside the pixels (the scale
// of the magnification's calibration, the microscope's name).
struct StillFileOptions {
    PictureFormat format = PictureFormat::Bmp;
    PictureMetadata metadata; // its time and magnification are the capture's
};

// Saves the frame held for the pending still request into `folder`. Dropped when the
// request was already served, or when no whole frame is held yet (the request then waits
// for the next frame). The picture is written whole under a temporary name and then
// renamed, so a full disk or a crash never leaves a cut picture under a capture name.
StillSaveResult SaveStillPicture(const HeldFrame& frame, StillTrigger& stills, const QString& folder,
                                 int magnification, const QDateTime& now, const std::function<void()>& onDirectory,
                                 const StillFileOptions& file = {});
