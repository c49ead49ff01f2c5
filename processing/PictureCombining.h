#pragma once
// Pictures read from files and combined into one: stacked (all in focus) or laid out as a
// mosaic. The same for the command line and the thumbnail list: each says how far it got
// through `progress` and can be cancelled there.

#include "media/PictureMetadata.h"
#include "processing/HeightMap.h"

#include <QImage>
#include <QStringList>

#include <functional>
#include <optional>

struct CombinedPictures {
    QImage picture;           // null when nothing was made (`failure` says why)
    QImage depthMap;          // a stack's: which picture each pixel came from
    PictureMetadata metadata; // the first picture's (its scale, its magnification)
    QSize inputSize;          // the size of the pictures combined (a scale is for pictures of it)
    QString failure;
    // A mosaic's account of each input, in order: "placed NAME X Y" (its top-left in the
    // mosaic, in pixels) or "not placed NAME: why"; a stack's: "left out NAME: why" for each
    // input it did not use.
    QStringList outcomes;
    QStringList leftOut; // "NAME: why" for each input left out, in order
    int used = 0;        // pictures that went into the result
};

// Inputs that cannot be read, or differ in size from the first, are left out (and named
// with the reason); a stack also leaves out a picture that does not align with the one
// before it (another field). Nothing is made when fewer than two pictures remain.
// `progress(line, done, total)`: a line to show, and how much of the work is done; false
// cancels (and nothing is made).
using CombineProgress = std::function<bool(const QString& line, int done, int total)>;

CombinedPictures StackPictureFiles(const QStringList& paths, const CombineProgress& progress = {});
// The same stack with the heights it tells (see HeightMap.h): none when fewer than three
// pictures were used or the focus did not move.
CombinedPictures StackPictureFiles(const QStringList& paths, const HeightScale& scale,
                                   std::optional<HeightMap>& heights, const CombineProgress& progress = {});
CombinedPictures MosaicOfPictureFiles(const QStringList& paths, const CombineProgress& progress = {});

// A cancelled combination's failure text.
QString CombiningCancelled();
