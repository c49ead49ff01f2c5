#pragma once
// All in focus: pictures taken at different focus merged into one that is sharp wherever
// any of them was. Each picture is aligned (a hand-turned focus knob shifts the picture and
// changes its scale a little) to the picture nearest it in focus of those that went before, so
// the errors of a long sweep's many small steps do not add up; matched in brightness to the first,
// and wherever it is sharper (smoothed Laplacian energy) than what the stack holds, its
// pixels replace the stack's (a live picture that adds is first placed again against the
// result, which a long blurred stretch of a sweep would otherwise leave it a few pixels off).
// A live stack keeps only the running result, its sharpness and
// which picture each pixel came from; a stack of files also keeps the aligned pictures, so
// a consistency filter on that index can remove isolated wrong choices at the end.

#include <QImage>

#include <array>
#include <limits>
#include <memory>

class FocusStack {
public:
    struct Options {
        bool align = true;              // align each picture to the one before
        bool keepFrames = false;        // keep the aligned pictures for the final consistency filter
        bool quick = false;             // live: resampled bilinear rather than bicubic, for speed
        bool leaveOutUnrelated = false; // refuse a picture that does not align (files: another field)
        // Without keepFrames: keep the pictures that counted reduced by up to this factor (2:
        // half size), never below 640 pixels wide, for heights from a live stack without
        // holding every frame at full size. 0: keep none.
        int keepReducedBy = 0;
    };
    enum class Added {
        Sharper,    // some of the picture was sharper than the stack: it counts
        NothingNew, // nothing got sharper: not counted
        WrongSize,  // not the size of the first picture: refused
        Unrelated,  // does not align with the picture before (another field): left out
    };

    explicit FocusStack(Options options);
    ~FocusStack();
    FocusStack(const FocusStack&) = delete;
    FocusStack& operator=(const FocusStack&) = delete;

    // `focusPosition`: where a motorised focus stood for the picture (NaN: turned by hand).
    Added Add(const QImage& picture, double focusPosition = std::numeric_limits<double>::quiet_NaN());
    // Pictures added, and those that counted.
    int Given() const;
    int Counted() const;
    QSize Size() const;

    // The merged picture (RGB32), and the depth map: each pixel's grey says which picture
    // it came from, the first black, the last white. Null before the first picture.
    QImage Result() const;
    // The merged picture as it stands (no consistency filter), BGR888: what a live preview shows.
    QImage RunningResult() const;
    QImage DepthMap() const;
    // Which picture (0 = the first given) a pixel of the result came from.
    int SourceAt(int x, int y) const;
    // The last picture's alignment against the first: x' = a x + b y + c, y' = d x + e y + f,
    // from the first picture's pixels to the last's.
    std::array<double, 6> LastTransform() const;
    // The aligned pictures kept (keepFrames), in the order given, and each one's scale
    // against the first: the picture grows as the focus knob turns, so the scale tells how
    // far it turned (heights from the stack).
    int KeptCount() const;
    QImage KeptPicture(int i) const;
    double KeptScale(int i) const;
    // Where a motorised focus stood for it; NaN when not known (turned by hand).
    double KeptFocusPosition(int i) const;
    // How much smaller than the pictures given the kept ones are (1: not).
    int KeptReduction() const;

    struct State;

private:
    std::unique_ptr<State> state_;
};
