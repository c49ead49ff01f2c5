#pragma once
// Pictures read from files and combined into one: stacked (all in focus) or laid out as a
// mosaic. The same for the command line and the thumbnail list: each says how far it got
// through `progress` and can be cancelled there.

#include "media/PictureMetadata.h"

#include <QImage>
#include <QStringList>

#include <functional>

struct CombinedPictures {
    QImage picture;            // null when nothing was made (`failure` says why)
    QImage depthMap;           // a stack's: which picture each pixel came from
    PictureMetadata metadata;  // the first picture's (its scale, its magnification)
    QSize inputSize;           // the size of the pictures combined (a scale is for pictures of it)
    QString failure;
    // A mosaic's account of each input, in order: "placed NAME X Y" (its top-left in the
    // mosaic, in pixels) or "not placed NAME: why".
    QStringList outcomes;
    int used = 0; // pictures that went into the result
};

// `progress(line, done, total)`: a line to show, and how much of the work is done; false
// cancels (and nothing is made).
using CombineProgress = std::function<bool(const QString& line, int done, int total)>;

CombinedPictures StackPictureFiles(const QStringList& paths, const CombineProgress& progress = {});
CombinedPictures MosaicOfPictureFiles(const QStringList& paths, const CombineProgress& progress = {});

// A cancelled combination's failure text.
QString CombiningCancelled();
