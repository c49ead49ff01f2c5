#pragma once
// Every still the program keeps is written here: F2 and the camera's button, the time-lapse
// series, all in focus and the mosaic. The writer names it with the next running number in
// the picture folder (stills of every format count on together), writes it in the chosen
// format with what the file says beside the pixels, whole under a temporary name and then
// renamed, and says what went wrong in the program's words. The formats are media/'s.

#include "media/PictureMetadata.h"
#include "media/PictureWriter.h"

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QString>

#include <functional>

struct StillSaveResult {
    enum Outcome { Saved, Dropped, Failed } outcome = Dropped;
    QString path;  // the picture written (Saved) or the one that could not be (Failed)
    QString error; // why it failed
};

// How a still is written: its format, and what the file says beside the pixels (the scale
// of the magnification's calibration, the microscope's name).
struct StillFileOptions {
    PictureFormat format = PictureFormat::Bmp;
    PictureMetadata metadata; // its time and magnification are the still's when it has none
    // Drawn into the picture before it is written (the live picture's measurements).
    std::function<void(QImage&)> drawOver;
};

// A still to write: the picture, or for a bitmap of a frame the file's bytes as they were
// made while the frame was held.
struct StillContent {
    QImage picture;
    QByteArray bitmapFile;
};

struct StillDescription {
    QDateTime time;
    int magnification = 0;
    QString tag; // "EDF" for all in focus, "MOS" for a mosaic, none for a still
    StillFileOptions file;
};

class StillWriter {
public:
    // `onDirectory` is called when the folder cannot be listed for the running number.
    explicit StillWriter(QString folder, std::function<void()> onDirectory = {})
        : folder_(std::move(folder)), onDirectory_(std::move(onDirectory))
    {
    }

    StillSaveResult Write(const StillContent& content, const StillDescription& description) const;
    // A picture that belongs to a still written before, beside it under its name and
    // `suffix` in the same format ("..._N0005_depth.png"): no running number of its own.
    StillSaveResult WriteBeside(const QString& still, const QString& suffix, const QImage& picture,
                                const PictureMetadata& metadata) const;

private:
    QString folder_;
    std::function<void()> onDirectory_;
};

// What the user reads when a still could not be saved: the reason with the file's name.
QString StillFailureMessage(const StillSaveResult& result);
