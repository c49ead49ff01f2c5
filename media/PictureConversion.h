#pragma once
// Saving a picture or video file as another: Save as from the list and --convert. A file
// saved in the format it has is copied byte for byte; one saved in another format the
// program writes is read, described anew (its scale) and written in that format. Whole or
// not at all: an earlier file under the destination's name stays until the new one is
// complete.

#include "media/PictureMetadata.h"

#include <QSize>
#include <QString>

#include <functional>

struct ConversionOutcome {
    enum Failure { None, Copying, Reading, Writing } failure = None;
    QString reason;           // the system's or the reader's words, when it failed
    bool copied = false;      // byte for byte, not converted
    QSize size;               // of a converted picture
    PictureMetadata metadata; // what a converted picture's file says
};

// What a converted picture's file is to say, from what the source carries and its size.
using DescribeConverted = std::function<PictureMetadata(const PictureMetadata& carried, QSize size)>;

enum class SameFormat { Copy, Convert };

// Saves `source` as `destination`. Copied when the destination's format is not one the
// program writes, or is the source's and `sameFormat` says Copy; converted otherwise.
ConversionOutcome SavePictureAs(const QString& source, const QString& destination, SameFormat sameFormat,
                                const DescribeConverted& describe);
