#pragma once
// A mosaic of a specimen larger than the field of view, from pictures taken while the
// sample slides under the lens. Each picture is placed by phase correlation (translation
// only: a stage does not turn) against the key picture nearest to where the view was; a key
// picture is kept whenever the view has moved about a third of a field from all of them (or,
// for pictures from files, every picture is one). When no match is sure (a fast move, a blank
// area) tracking is lost until the view comes back over a covered area. Assembling the
// mosaic places all key pictures together (least squares over every overlapping pair, so
// the small errors of a long chain do not add up) and blends them smoothly at the seams.

#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class Mosaic {
public:
    struct Options {
        bool everyPictureIsKey = false;       // pictures from files: each one is placed and kept
        int maxSide = 16384;                  // the assembled mosaic's largest side, in pixels
        qint64 maxBytes = qint64(1536) << 20; // kept pictures and the assembly's working memory
    };
    enum class Step {
        First,     // the first picture: the mosaic starts with it
        Followed,  // placed; the view has not moved far enough for a new key picture
        KeyAdded,  // placed and kept
        Lost,      // not placed: no sure match (Lost() says why)
        Resumed,   // placed again after tracking was lost
        WrongSize, // not the first picture's size: refused
        TooLarge,  // placed, but keeping it would pass the size limit: not kept
    };
    enum class LostReason { None, Blank, NoMatch };

    explicit Mosaic(Options options);
    ~Mosaic();
    Mosaic(const Mosaic&) = delete;
    Mosaic& operator=(const Mosaic&) = delete;

    Step Add(const QImage& picture);
    LostReason Lost() const;
    QSize FrameSize() const;
    int KeyCount() const;
    // Where the view was last placed (its top-left, in the first picture's pixels).
    QPointF ViewPosition() const;
    // The key pictures' tracked top-lefts and the box they cover together.
    std::vector<QPointF> KeyPositions() const;
    QRectF Bounds() const;
    // The size and working memory a mosaic of these bounds takes.
    static qint64 BytesFor(QSize mosaic, QSize frame, int keys);

    // A small picture of the mosaic so far (at most `side` pixels on a side), the view
    // outlined: green while followed, red when lost.
    QImage Map(int side) const;

    struct Assembled {
        QImage picture;                 // RGB32; null when there was nothing or it was cancelled
        std::vector<QPointF> positions; // each key picture's top-left in `picture`
        double overlapRms = 0;          // the RMS difference of neighbouring pictures where they overlap
        int pairs = 0;                  // overlapping pairs that were matched
    };
    // `progress(done, total)` is called along the way; returning false cancels.
    Assembled Assemble(const std::function<bool(int, int)>& progress = {}) const;

private:
    struct State;
    std::unique_ptr<State> state_;
};
