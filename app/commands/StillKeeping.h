#pragma once
// Where the window's stills go once made: the next still of the picture folder for a picture
// the program made (all in focus, a mosaic, pictures stacked from the list) or a frame the
// engine holds; the list shows it, the shutter sounds, a failure is told. It also reads the
// magnification the user typed, which names the stills and picks their calibration.
// User-interface thread.

#include "media/PictureMetadata.h"

#include <QImage>
#include <QSize>
#include <QString>

class CThumbnailList;
class QWidget;
class StillFormatSetting;
struct MediaFolders;
struct StillSaveResult;

// The magnification the box's text says; 0 when it says none.
int TypedMagnification(const QString& text);

// What keeping stills needs of the window.
class StillKeepingHost {
public:
    virtual ~StillKeepingHost() = default;
    virtual QWidget& HostWidget() = 0; // parent of the messages
    virtual QString MessageCaption() const = 0;
    virtual const MediaFolders& Folders() const = 0;
    virtual StillFormatSetting& StillFormat() const = 0;
    virtual QString CalibrationPath() const = 0;
    virtual CThumbnailList& ThumbnailList() const = 0;
    virtual void PlaySound(int soundId) = 0;
    // What the magnification box holds, as typed.
    virtual QString MagnificationText() const = 0;
};

class StillKeeping {
public:
    explicit StillKeeping(StillKeepingHost& host) : host_(host) {}

    // The magnification in the box now (0 when it holds none).
    int ReadMagnification();
    int Magnification() const { return magnification_; }
    // The file's description of a picture of `size` at `magnification`: the scale of its
    // calibration (or the nominal one when chosen), unless `carried` has one.
    PictureMetadata Describe(const PictureMetadata& carried, int magnification, QSize size) const;

    // Saved as the next still ("..._EDF_N0005", "..._MOS_N0006"); the path, or empty when it
    // could not be (the user was told).
    QString SaveAsNext(const QImage& picture, const QString& tag, const PictureMetadata& metadata, int magnification);
    // A stack's depth map beside the still `saved` ("..._N0005_depth.png"), when both are there.
    void SaveDepthMapBeside(const QString& saved, const QImage& depthMap, const PictureMetadata& metadata);
    // A still of the held frame was written: the list shows it.
    void Kept(const QString& path);
    // Tells the user a still could not be saved, and why.
    void ReportFailure(const StillSaveResult& result);
    QString LastPicturePath() const { return lastPicturePath_; }

private:
    StillKeepingHost& host_;
    int magnification_ = 0;
    QString lastPicturePath_;
};
