#pragma once
// The still of the frame the capture engine holds (F2, the camera's button, the time-lapse
// series): copied while held, then written by the still writer.

#include "app/stills/StillWriter.h"
#include "framework/Frame.h"
#include "framework/RunningNumber.h"
#include "media/BmpFile.h"
#include "media/PictureWriter.h"
#include "media/StillNames.h"
#include <QDateTime>

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class HeldFrame;
class StillTrigger;

// Saves the frame held for the pending still request into `folder`. Dropped when the
// request was already served, or when no whole frame is held yet (the request then waits
// for the next frame).
StillSaveResult SaveStillPicture(const HeldFrame& frame, StillTrigger& stills, const QString& folder, int magnification,
                                 const QDateTime& now, const std::function<void()>& onDirectory,
                                 const StillFileOptions& file = {});
