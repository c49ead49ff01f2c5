#include "processing/FocusStack.h"

#include "processing/CvImages.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Alignment runs on pictures reduced to about this width (a whole factor): fast enough for
// every live frame, and precise to a fraction of a pixel once brought back to full size.
constexpr int kAlignWidth = 320;
// ECC's own smoothing of both pictures (pixels of the reduced picture): none beyond the
// reduction; more smoothing lets the different blur of two focus positions pull the fit.
constexpr int kAlignSmoothing = 1;
// The smoothing for measuring each step's growth (heights): enough that the change of blur
// no longer pulls the fit.
constexpr int kGrowthSmoothing = 7;
constexpr int kGrowthIterations = 10; // from the alignment's transform, enough to settle
// A live step: the fits' iterations (each starts close: the coarse from the last step, the fine
// from the coarse), and the fine fit's smoothing, which a stack of files also takes for a small
// step (a picture aligned to a reference near it in focus). Unsmoothed, the fine fit follows the
// finest detail, which the change of focus blurs on one side and sharpens on the other: its
// scale was a little off on every step, and over the many small steps of a sweep the far end
// came out 1 % large (outlines pixels apart); smoothed this much, a fifth of that.
constexpr int kLiveCoarseIterations = 10;
constexpr int kLiveFineIterations = 5;
constexpr int kLiveSmoothing = 3;
// The sharpness is smoothed over about this many pixels: enough that each choice is made
// for a small neighbourhood, little enough that a sharp edge's energy does not spread over
// the surface beside it (which would take that surface from the edge's blurred picture: the
// halo stacking tools are known for).
constexpr double kSharpnessSigma = 1.0;
// A pixel's neighbourhood, for judging whether a picture is sharper than the stack there
// (sigma, pixels): a picture clearly (this many times) blurrier over it does not take the pixel
// on its finest detail alone, and one clearly sharper over it takes the pixel unless its own
// detail there is under this share of the stack's. Beside a dark plain rim, an out-of-focus
// picture's fringe of the board behind has more fine detail than the sharp rim itself: taken
// pixel by pixel, a sweep drew two or three thin lines along every component.
constexpr double kPatchSigma = 3.0;
constexpr double kPatchMargin = 2.0;
constexpr double kFineFloor = 0.25;
// A live picture placed again against the result moves only when the fit agrees this well, and
// by at most this share of the width (more is no drift the chain could have lost, but a wrong
// fit). A move of at least this much (full pixels) is taken whole and the picture warped again;
// of a smaller one (as much the blur's pull on the fit as the chain's error) only this share.
constexpr double kPlacementAgreement = 0.8;
constexpr double kMostReplacement = 0.03;
constexpr double kLeastReplacement = 1.0;
constexpr double kSmallCorrectionShare = 0.5;
// A picture counts when at least this share of the pixels got sharper.
constexpr double kCountingShare = 0.002;
// A stack has a focus peak at a pixel where its sharpest picture's detail has this many times
// the blurriest's energy; up to the even multiple it has none (the noise alone differs that
// much between pictures), and in between some.
constexpr double kEvenPeak = 3;
constexpr double kClearPeak = 8;
// Where there is no peak the choice is made over a neighbourhood this wide (sigma, pixels).
constexpr double kCoarseSigma = 6.0;
// A finer choice overrules the wider one only where its picture's fine detail has this many
// times the wider choice's there.
constexpr double kNoiseMargin = 3;
// The peak's prominence is also judged over the wider neighbourhood (where a sensor's noise
// evens out), taken this many times: noise alone makes a pixel's sharpest picture look several
// times its blurriest, never a patch's.
constexpr double kPatchTrust = 2;
// A peak this prominent in the finest detail is no noise's, whatever the patch around says.
constexpr double kStrongPeak = kClearPeak;
// Only a peak this prominent overrules the wider choice where the two disagree: 51 pictures in
// small steps, blurred nearly alike where nothing was in focus, came out 1.38 times as busy as
// the sharpest of them, choosing by the finest detail there.
constexpr double kUnmistakablePeak = 2 * kClearPeak;
// Neighbours in a focus series agree at least this well once aligned (the correlation of
// their coarse shapes, which blur changes little); another field agrees far less.
constexpr double kSeriesAgreement = 0.5;
// A live stack keeps at most this many reduced pictures for heights (about 40 MB at 640 x 512).
constexpr std::size_t kMostKeptReduced = 48;
// Pictures kept for heights are reduced no narrower than this: each height is found over a few
// pixels, and a smaller picture's focus curve is too flat to place its peak between frames
// (a calibration on a 640-wide stack kept at half size read 5-9 % high).
constexpr int kLeastKeptWidth = 640;
// A focus knob grows the picture by a few per cent and shifts it a little, never more.
constexpr double kMaxSeriesScaleChange = 0.2;
constexpr double kMaxSeriesShift = 0.25; // of the picture's width
// A picture aligns to a reference picture whose scale is within this share of its own (about
// eight steps of a focus knob: the blur differs little, and the fit is as good as between
// neighbours) and whose place is within this share of the width; a picture further than the
// spacing from every reference becomes one.
constexpr double kReferenceReach = 0.008;
constexpr double kReferenceSpacing = 0.005;
constexpr double kReferenceShift = 0.05;
// At most this many references (about 400 kB each): past it the oldest but the first goes.
constexpr std::size_t kMostReferences = 64;

// The energy of the finest detail (the 4-neighbour Laplacian: the wider one also answers to
// the slopes of a blurred edge, which then wins beside it).
cv::Mat Sharpness(const cv::Mat& bgr)
{
    cv::Mat grey, laplacian, energy;
    cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
    cv::Laplacian(grey, laplacian, CV_32F, 1);
    cv::multiply(laplacian, laplacian, energy);
    cv::GaussianBlur(energy, energy, cv::Size(), kSharpnessSigma);
    return energy;
}

} // namespace

struct FocusStack::State {
    Options options;
    cv::Size size;
    cv::Mat result;                       // CV_8UC3
    cv::Mat best;                         // CV_32F sharpness of the result's pixels
    cv::Mat bestPatch;                    // CV_32F: the same over each pixel's neighbourhood, half size
    cv::Mat index;                        // CV_16U: which picture each pixel came from
    int reduction = 1;                    // the whole factor the alignment's pictures are reduced by
    int keptReduction = 1;                // the whole factor pictures kept for heights are reduced by
    cv::Mat covered;                      // the last aligned picture's own pixels (255), not its repeated edges (0)
    cv::Mat previousFine, previousCoarse; // the last picture, reduced, grey, float
    cv::Matx33d lastStep = cv::Matx33d::eye(); // the last step's transform (full pixels)
    // Pictures others align to: the first, then one wherever the focus has gone further than
    // the spacing from all of them (reduced and grey as the alignment sees them).
    struct Reference {
        cv::Mat fine, coarse;
        cv::Matx33d toPicture; // the first picture's pixels -> this one's
    };
    std::vector<Reference> references;
    bool previousIsReference = false; // the last picture aligned is the last reference

    // The correlation the fit reached (up to 1), or -1 when it found none.
    // `mask`: the pixels of `to` that count (empty: all).
    static double Fit(const cv::Mat& from, const cv::Mat& to, cv::Mat& warp, int iterations, double epsilon,
                      int smoothing = kAlignSmoothing, const cv::Mat& mask = {})
    {
        try {
            return cv::findTransformECC(
                from, to, warp, cv::MOTION_AFFINE,
                cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, iterations, epsilon), mask,
                smoothing);
        } catch (const cv::Exception&) {
            return -1;
        }
    }

    // Whether a step's transform is one a focus knob makes: a small change of scale, a small
    // shift, no turn or shear to speak of.
    static bool PlausibleStep(const cv::Mat& warp, cv::Size reduced)
    {
        const double a = warp.at<float>(0, 0), b = warp.at<float>(0, 1), d = warp.at<float>(1, 0),
                     e = warp.at<float>(1, 1);
        return std::abs(a - 1) < kMaxSeriesScaleChange && std::abs(e - 1) < kMaxSeriesScaleChange &&
               std::abs(b) < 0.05 && std::abs(d) < 0.05 &&
               std::abs(warp.at<float>(0, 2)) < kMaxSeriesShift * reduced.width &&
               std::abs(warp.at<float>(1, 2)) < kMaxSeriesShift * reduced.width;
    }
    cv::Matx33d toLast = cv::Matx33d::eye(); // first picture's pixels -> last picture's

    // How much a step grew the picture. The alignment's own fit follows the fine detail, which
    // the change of focus blurs on one side and sharpens on the other; over many steps that
    // adds up to a growth several per cent off. The coarse shapes, which focus changes little,
    // tell the growth truer: the fit again from the step's transform, smoothed.
    static double StepGrowth(const cv::Mat& from, const cv::Mat& to, const cv::Mat& step)
    {
        cv::Mat warp = step.clone();
        const double agreement = Fit(from, to, warp, kGrowthIterations, 1e-6, kGrowthSmoothing);
        if (agreement < 0 || !PlausibleStep(warp, from.size())) warp = step;
        const double a = warp.at<float>(0, 0), b = warp.at<float>(0, 1), d = warp.at<float>(1, 0),
                     e = warp.at<float>(1, 1);
        return std::sqrt(std::abs(a * e - b * d));
    }
    cv::Scalar firstMean;
    // A picture kept for the final choice (keepFrames) or for heights (keepReducedBy).
    struct Kept {
        cv::Mat picture;     // aligned to the first (and reduced, for heights)
        cv::Mat unaligned;   // as given, reduced and grey as the alignment saw it: for its growth
        cv::Matx33d toFrame; // the first picture's pixels -> this one's
        double position;     // its motorised focus position; NaN where not known
    };
    std::vector<Kept> kept;
    // Each kept picture's scale against the first (how far the knob turned), measured when first
    // asked for (heights), not on every live frame: a prefix of `kept`.
    mutable std::vector<double> keptScales;
    mutable cv::Mat decided;    // the final choice from the kept pictures (CV_16U), made once asked for
    mutable cv::Mat sharpShare; // with it: how surely a picture is sharp at each pixel (CV_32F)
    int given = 0;
    int counted = 0;
    bool lastCounted = false; // the last picture given counted

    // The picture warped onto the first one's pixels; empty when it is to be left out as
    // not part of the series (it then does not become the picture the next aligns to).
    cv::Mat Align(const cv::Mat& bgr)
    {
        cv::Mat grey, fine, coarse;
        cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
        cv::resize(grey, fine, cv::Size(), 1.0 / reduction, 1.0 / reduction, cv::INTER_AREA);
        fine.convertTo(fine, CV_32F);
        cv::resize(fine, coarse, cv::Size(), 0.5, 0.5, cv::INTER_AREA);
        if (previousFine.empty() || !options.align) {
            previousFine = fine;
            previousCoarse = coarse;
            covered.release();
            if (options.align) references.push_back({fine, coarse, toLast});
            previousIsReference = options.align;
            return bgr;
        }
        // Where the knob turns evenly the picture moves on as it did in the last step.
        const cv::Matx33d predicted = lastStep * toLast;
        // A picture is aligned to the reference picture nearest it in focus: on a sweep many
        // pictures align to one reference, and a pass back aligns to the references of the way
        // there, so the small error of each fit does not add up from picture to picture. Where
        // no reference is near, to the picture before.
        const Reference* reference = NearestReference(predicted);
        double agreement = -1;
        cv::Mat warp;
        cv::Matx33d from;
        if (reference) {
            from = reference->toPicture;
            warp = Reduced(predicted * from.inv());
            // A reference further back than the picture before stands for many small steps.
            const bool previous = reference == &references.back() && previousIsReference;
            agreement =
                FitStep(reference->coarse, reference->fine, coarse, fine, warp, previous ? kAlignSmoothing : kLiveSmoothing);
        }
        if (agreement < 0 || !PlausibleStep(warp, fine.size())) {
            reference = nullptr;
            from = toLast;
            warp = Reduced(lastStep);
            agreement = FitStep(previousCoarse, previousFine, coarse, fine, warp, kAlignSmoothing);
        }
        if (agreement < 0 || !PlausibleStep(warp, fine.size())) warp = Reduced(cv::Matx33d::eye()); // no fit: as it is
        if (options.leaveOutUnrelated &&
            ShapesAgreement(reference ? reference->fine : previousFine, fine, warp) < kSeriesAgreement)
            return {};
        const cv::Matx33d toThis = FullSize(warp) * from;
        lastStep = toThis * toLast.inv();
        toLast = toThis;
        previousFine = fine;
        previousCoarse = coarse;
        previousIsReference = !NearestReference(toLast, kReferenceSpacing);
        if (previousIsReference) {
            if (references.size() >= kMostReferences) references.erase(references.begin() + 1);
            references.push_back({fine, coarse, toLast});
        }
        return WarpToFirst(bgr);
    }

    // The transform from the reduced picture `fine` (`coarse` half of it) to the one given, found
    // on the coarse pair from `warp`, then refined; the correlation reached, or -1.
    double FitStep(const cv::Mat& fromCoarse, const cv::Mat& fromFine, const cv::Mat& coarse, const cv::Mat& fine,
                   cv::Mat& warp, int smoothing) const
    {
        // A reduced pixel x is a coarse pixel around x / 2 - 1 / 4.
        warp.at<float>(0, 2) = (warp.at<float>(0, 2) - 0.5f * (1 - warp.at<float>(0, 0) - warp.at<float>(0, 1))) / 2;
        warp.at<float>(1, 2) = (warp.at<float>(1, 2) - 0.5f * (1 - warp.at<float>(1, 0) - warp.at<float>(1, 1))) / 2;
        double agreement = Fit(fromCoarse, coarse, warp, options.quick ? kLiveCoarseIterations : 30, 1e-4);
        if (agreement < 0) return agreement;
        warp.at<float>(0, 2) = 2 * warp.at<float>(0, 2) + 0.5f * (1 - warp.at<float>(0, 0) - warp.at<float>(0, 1));
        warp.at<float>(1, 2) = 2 * warp.at<float>(1, 2) + 0.5f * (1 - warp.at<float>(1, 0) - warp.at<float>(1, 1));
        return options.quick ? Fit(fromFine, fine, warp, kLiveFineIterations, 1e-5, kLiveSmoothing)
                             : Fit(fromFine, fine, warp, 20, 1e-6, smoothing);
    }

    // The reference picture nearest in scale to a picture placed by `toPicture`, within `reach`
    // of its scale and a little of its place; null when none is.
    const Reference* NearestReference(const cv::Matx33d& toPicture, double reach = kReferenceReach) const
    {
        const double scale = std::sqrt(std::abs(cv::determinant(toPicture.get_minor<2, 2>(0, 0))));
        const cv::Vec3d centre(size.width / 2.0, size.height / 2.0, 1);
        const cv::Vec3d placed = toPicture * centre;
        const Reference* nearest = nullptr;
        double nearestApart = reach;
        for (const Reference& r : references) {
            const double apart =
                std::abs(std::sqrt(std::abs(cv::determinant(r.toPicture.get_minor<2, 2>(0, 0)))) / scale - 1);
            const cv::Vec3d there = r.toPicture * centre;
            if (apart <= nearestApart && std::hypot(there[0] - placed[0], there[1] - placed[1]) <=
                                             kReferenceShift * size.width) {
                nearest = &r;
                nearestApart = apart;
            }
        }
        return nearest;
    }

    // A transform between full-size pictures as one between the reduced ones (see FullSize).
    cv::Mat Reduced(const cv::Matx33d& full) const
    {
        const double k = reduction, o = (reduction - 1) / 2.0;
        const cv::Matx33d toReduced(1 / k, 0, -o / k, 0, 1 / k, -o / k, 0, 0, 1);
        const cv::Matx33d reduced = toReduced * full * toReduced.inv();
        cv::Mat warp(2, 3, CV_32F);
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 3; ++c) warp.at<float>(r, c) = static_cast<float>(reduced(r, c));
        return warp;
    }

    // A transform between reduced pictures as one between the full-size ones: a reduced pixel
    // x covers full pixels around k x + (k - 1) / 2.
    cv::Matx33d FullSize(const cv::Mat& warp) const
    {
        const double k = reduction, o = (reduction - 1) / 2.0;
        const double a = warp.at<float>(0, 0), b = warp.at<float>(0, 1), d = warp.at<float>(1, 0),
                     e = warp.at<float>(1, 1);
        const double c = k * warp.at<float>(0, 2) + o - (a * o + b * o);
        const double f = k * warp.at<float>(1, 2) + o - (d * o + e * o);
        return cv::Matx33d(a, b, c, d, e, f, 0, 0, 1);
    }

    // The picture warped onto the first one's pixels by `toLast`; `covered` marks its own pixels.
    cv::Mat WarpToFirst(const cv::Mat& bgr)
    {
        const cv::Matx23d map(toLast(0, 0), toLast(0, 1), toLast(0, 2), toLast(1, 0), toLast(1, 1), toLast(1, 2));
        cv::Mat aligned;
        const int interpolation = options.quick ? cv::INTER_LINEAR : cv::INTER_CUBIC;
        cv::warpAffine(bgr, aligned, cv::Mat(map), size, interpolation | cv::WARP_INVERSE_MAP, cv::BORDER_REPLICATE);
        // Where the picture does not reach (its edges, when it is smaller than the first), it
        // has nothing to give: the stack keeps what it has there. That is the picture's own
        // outline carried back onto the first one's pixels.
        cv::Matx23d back;
        cv::invertAffineTransform(map, back);
        const double right = bgr.cols - 1, bottom = bgr.rows - 1;
        std::vector<cv::Point> outline;
        constexpr int kShift = 4; // corners to a sixteenth of a pixel
        for (const cv::Point2d corner :
             {cv::Point2d(0, 0), cv::Point2d(right, 0), cv::Point2d(right, bottom), cv::Point2d(0, bottom)}) {
            const cv::Point2d p(back(0, 0) * corner.x + back(0, 1) * corner.y + back(0, 2),
                                back(1, 0) * corner.x + back(1, 1) * corner.y + back(1, 2));
            outline.emplace_back(static_cast<int>(std::lround(p.x * (1 << kShift))),
                                 static_cast<int>(std::lround(p.y * (1 << kShift))));
        }
        covered = cv::Mat::zeros(size, CV_8U);
        cv::fillConvexPoly(covered, outline, cv::Scalar(255), cv::LINE_8, kShift);
        return aligned;
    }

    // A picture that adds to the result, placed again against the result itself: the chain of
    // steps from picture to picture loses a little on every very blurred step, and a slide that
    // drifts while the knob passes far from focus would come back into focus a few pixels from
    // where it was sharp before, every outline doubled. The result is anchored to the first
    // picture, so its error does not add up. True when the placement changed (`toLast` then
    // holds the new one) by enough to warp the picture again.
    bool PlaceAgainstResult(const cv::Mat& aligned)
    {
        const double factor = 1.0 / reduction;
        cv::Mat resultGrey, alignedGrey, mask;
        cv::resize(result, resultGrey, cv::Size(), factor, factor, cv::INTER_AREA);
        cv::resize(aligned, alignedGrey, resultGrey.size(), 0, 0, cv::INTER_AREA);
        cv::cvtColor(resultGrey, resultGrey, cv::COLOR_BGR2GRAY);
        cv::cvtColor(alignedGrey, alignedGrey, cv::COLOR_BGR2GRAY);
        cv::resize(covered, mask, resultGrey.size(), 0, 0, cv::INTER_NEAREST);
        resultGrey.convertTo(resultGrey, CV_32F);
        alignedGrey.convertTo(alignedGrey, CV_32F);
        cv::Mat warp = cv::Mat::eye(2, 3, CV_32F);
        if (Fit(resultGrey, alignedGrey, warp, 5, 1e-4, kAlignSmoothing, mask) < kPlacementAgreement) return false;
        // How far the correction moves the picture's corners (full pixels).
        const cv::Matx33d correction = FullSize(warp);
        double moved = 0;
        for (const cv::Point2d corner :
             {cv::Point2d(0, 0), cv::Point2d(size.width - 1, 0), cv::Point2d(0, size.height - 1),
              cv::Point2d(size.width - 1, size.height - 1)}) {
            const cv::Vec3d to = correction * cv::Vec3d(corner.x, corner.y, 1);
            moved = std::max(moved, std::hypot(to[0] - corner.x, to[1] - corner.y));
        }
        if (moved > kMostReplacement * size.width) return false;
        if (moved >= kLeastReplacement) {
            toLast = toLast * correction;
            return true;
        }
        // A small one in part: what lasts is corrected over the next pictures.
        toLast = toLast * (cv::Matx33d::eye() + kSmallCorrectionShare * (correction - cv::Matx33d::eye()));
        return false;
    }

    // How well two reduced pictures agree once the second is aligned by `warp`: the
    // correlation of their coarse shapes (which a change of focus leaves much as they are),
    // away from the borders. A blank pair (nothing to disagree) agrees.
    static double ShapesAgreement(const cv::Mat& first, const cv::Mat& second, const cv::Mat& warp)
    {
        cv::Mat aligned, a, b;
        cv::warpAffine(second, aligned, warp, first.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP,
                       cv::BORDER_REPLICATE);
        const double sigma = std::max(2.0, first.cols / 80.0);
        cv::GaussianBlur(first, a, cv::Size(), sigma);
        cv::GaussianBlur(aligned, b, cv::Size(), sigma);
        const cv::Rect middle(first.cols / 10, first.rows / 10, first.cols * 8 / 10, first.rows * 8 / 10);
        a = a(middle).clone();
        b = b(middle).clone();
        cv::Scalar meanA, deviationA, meanB, deviationB;
        cv::meanStdDev(a, meanA, deviationA);
        cv::meanStdDev(b, meanB, deviationB);
        if (deviationA[0] < 1 || deviationB[0] < 1) return 1;
        a -= meanA[0];
        b -= meanB[0];
        return a.dot(b) / (static_cast<double>(a.total()) * deviationA[0] * deviationB[0]);
    }

    // A picture that counted, reduced, with its growth against the first and its focus
    // position: a live stack's pictures for heights. A long sweep is thinned to every other
    // picture (its range kept).
    void KeepReduced(const cv::Mat& aligned, double focusPosition)
    {
        cv::Mat reduced;
        if (keptReduction > 1) {
            const double factor = 1.0 / keptReduction;
            cv::resize(aligned, reduced, cv::Size(), factor, factor, cv::INTER_AREA);
        } else {
            reduced = aligned.clone();
        }
        Keep(reduced, focusPosition);
        if (kept.size() > kMostKeptReduced) {
            // Every other picture goes, but not one a motorised focus placed (heights take
            // their distances from those alone).
            std::vector<Kept> thinned;
            std::vector<double> scales;
            bool keep = true;
            for (std::size_t i = 0; i < kept.size(); ++i) {
                const bool placed = !std::isnan(kept[i].position);
                if (!placed) keep = !keep;
                if (!placed && !keep) continue;
                thinned.push_back(std::move(kept[i]));
                if (i < keptScales.size()) scales.push_back(keptScales[i]);
            }
            kept = std::move(thinned);
            keptScales = std::move(scales);
        }
    }

    // The picture just aligned, kept (aligned as given) with what its growth is measured from.
    void Keep(const cv::Mat& picture, double focusPosition)
    {
        kept.push_back({picture, previousFine, toLast, focusPosition});
    }

    // Each kept picture's scale against the first, measured between neighbours from the
    // transform the alignment found between them.
    const std::vector<double>& KeptScales() const
    {
        for (std::size_t i = keptScales.size(); i < kept.size(); ++i) {
            if (i == 0 || !options.align) {
                keptScales.push_back(1.0);
                continue;
            }
            // The step in full pixels, then in the reduced pixels the pictures were kept at.
            const cv::Mat warp = Reduced(kept[i].toFrame * kept[i - 1].toFrame.inv());
            keptScales.push_back(keptScales.back() * StepGrowth(kept[i - 1].unaligned, kept[i].unaligned, warp));
        }
        return keptScales;
    }

    // Whether a reduced picture at this motorised focus position would be the first there.
    bool NewFocusPosition(double focusPosition) const
    {
        return !std::isnan(focusPosition) &&
               std::none_of(kept.begin(), kept.end(), [&](const Kept& k) { return k.position == focusPosition; });
    }

    // Where a picture is sharper than the stack: its finest detail clearly so, unless the
    // neighbourhood is clearly blurrier than the stack's there (the noise or a blurred edge's
    // fringe of an out-of-focus picture); or its neighbourhood clearly sharper, unless its
    // finest detail is far weaker. `patch`: the picture's energy over the neighbourhood, at
    // half size (a neighbourhood needs no more, and a live frame has no time for more).
    cv::Mat Sharper(const cv::Mat& energy, cv::Mat& patch) const
    {
        cv::Mat sharper, blurrier, patchWins, fineFar;
        cv::compare(energy, best * 1.02, sharper, cv::CMP_GT); // a clear gain, not noise
        patch = Patch(energy);
        cv::compare(patch, bestPatch / kPatchMargin, blurrier, cv::CMP_LT);
        cv::compare(patch, bestPatch * kPatchMargin, patchWins, cv::CMP_GT);
        cv::resize(blurrier, blurrier, size, 0, 0, cv::INTER_NEAREST);
        cv::resize(patchWins, patchWins, size, 0, 0, cv::INTER_NEAREST);
        cv::compare(energy, best * kFineFloor, fineFar, cv::CMP_LT);
        sharper = (sharper & ~blurrier) | (patchWins & ~fineFar);
        if (!covered.empty()) sharper &= covered;
        return sharper;
    }

    // The energy over each pixel's neighbourhood, at half size.
    static cv::Mat Patch(const cv::Mat& energy)
    {
        cv::Mat half;
        cv::resize(energy, half, cv::Size((energy.cols + 1) / 2, (energy.rows + 1) / 2), 0, 0, cv::INTER_AREA);
        cv::GaussianBlur(half, half, cv::Size(), kPatchSigma / 2);
        return half;
    }

    // Where the picture's pixels were taken, its neighbourhood's energy is the stack's.
    void TakePatch(const cv::Mat& patch, const cv::Mat& taken)
    {
        cv::Mat takenHalf;
        cv::resize(taken, takenHalf, patch.size(), 0, 0, cv::INTER_NEAREST);
        patch.copyTo(bestPatch, takenHalf);
    }

    // Brightness matched to the first picture, channel by channel, within a fifth.
    void MatchBrightness(cv::Mat& bgr) const
    {
        const cv::Scalar mean = cv::mean(bgr);
        cv::Scalar gain(1, 1, 1);
        for (int c = 0; c < 3; ++c)
            if (mean[c] > 1) gain[c] = std::clamp(firstMean[c] / mean[c], 0.8, 1.25);
        if (std::abs(gain[0] - 1) + std::abs(gain[1] - 1) + std::abs(gain[2] - 1) > 0.003) cv::multiply(bgr, gain, bgr);
    }
};

FocusStack::FocusStack(Options options) : state_(std::make_unique<State>())
{
    state_->options = options;
}

FocusStack::~FocusStack() = default;

FocusStack::Added FocusStack::Add(const QImage& picture, double focusPosition)
{
    State& s = *state_;
    cv::Mat bgr = BgrMatOf(picture);
    if (bgr.empty()) return Added::WrongSize;
    if (s.given == 0) {
        s.size = bgr.size();
        s.reduction = std::max(1, bgr.cols / kAlignWidth);
        s.keptReduction = std::clamp(bgr.cols / kLeastKeptWidth, 1, std::max(1, s.options.keepReducedBy));
        s.firstMean = cv::mean(bgr);
        s.Align(bgr); // remembers it for the next
        s.result = bgr;
        s.best = Sharpness(bgr);
        s.bestPatch = State::Patch(s.best);
        s.index = cv::Mat::zeros(s.size, CV_16U);
        if (s.options.keepFrames) {
            s.Keep(bgr.clone(), focusPosition); // its own: the result grows over the first
        } else if (s.options.keepReducedBy > 0) {
            s.KeepReduced(bgr, focusPosition);
        }
        s.given = s.counted = 1;
        return Added::Sharper;
    }
    if (bgr.size() != s.size) return Added::WrongSize;
    cv::Mat aligned = s.Align(bgr);
    if (aligned.empty()) return Added::Unrelated;
    s.MatchBrightness(aligned);
    cv::Mat energy = Sharpness(aligned), patch;
    cv::Mat sharper = s.Sharper(energy, patch);
    // A live stack may pass through focus again after a long blurred stretch (a stack of files
    // is one pass, in order): there each picture that adds is placed again against the result.
    const bool adds = cv::countNonZero(sharper) >= kCountingShare * s.size.area();
    if (adds && !s.options.keepFrames && !s.covered.empty() && s.PlaceAgainstResult(aligned)) {
        aligned = s.WarpToFirst(bgr);
        s.MatchBrightness(aligned);
        energy = Sharpness(aligned);
        sharper = s.Sharper(energy, patch);
    }
    const int number = s.given++;
    s.decided.release();
    if (s.options.keepFrames) s.Keep(aligned, focusPosition);
    const bool keepsReduced = !s.options.keepFrames && s.options.keepReducedBy > 0;
    const int gained = cv::countNonZero(sharper);
    if (gained < kCountingShare * s.size.area()) {
        // A motorised focus stands still a moment before its position is known, and the frame
        // that first showed the place sharper came while it moved: heights need one known there.
        // The picture after one that counted is kept too: past the last surface's focus nothing
        // gets sharper, and without the far side of its focus curve its height is not known.
        if (keepsReduced && (s.NewFocusPosition(focusPosition) || s.lastCounted)) s.KeepReduced(aligned, focusPosition);
        s.lastCounted = false;
        return Added::NothingNew;
    }
    s.lastCounted = true;
    if (keepsReduced) s.KeepReduced(aligned, focusPosition);
    aligned.copyTo(s.result, sharper);
    energy.copyTo(s.best, sharper);
    s.TakePatch(patch, sharper);
    s.index.setTo(number, sharper);
    ++s.counted;
    return Added::Sharper;
}

int FocusStack::Given() const
{
    return state_->given;
}

int FocusStack::Counted() const
{
    return state_->counted;
}

QSize FocusStack::Size() const
{
    return QSize(state_->size.width, state_->size.height);
}

namespace {

// Which kept picture each pixel comes from (CV_16U), and how surely any picture is sharp
// there (CV_32F, 0 to 1). A pixel whose sharpest picture is not clearly sharper than its
// blurriest (the focus measure below the noise, or even across the stack: a background out
// of focus in every picture) has nothing to choose by: there the choice is the picture
// sharpest over a wider neighbourhood (a smooth depth), and the result the pictures' mean.
// Elsewhere the sharpest picture in the finest detail; then each pixel takes the picture most
// of its neighbours took (isolated wrong choices go).
const cv::Mat& Decision(const FocusStack::State& s, cv::Mat* sharpShare = nullptr)
{
    if (s.decided.empty()) {
        cv::Mat bestFine, leastFine, bestCoarse, leastCoarse, fineIndex, coarseIndex;
        for (std::size_t k = 0; k < s.kept.size(); ++k) {
            const cv::Mat fine = Sharpness(s.kept[k].picture);
            cv::Mat coarse;
            cv::GaussianBlur(fine, coarse, cv::Size(), kCoarseSigma);
            if (k == 0) {
                bestFine = fine.clone();
                leastFine = fine.clone();
                bestCoarse = coarse;
                leastCoarse = coarse.clone();
                fineIndex = cv::Mat::zeros(fine.size(), CV_16U);
                coarseIndex = cv::Mat::zeros(fine.size(), CV_16U);
                continue;
            }
            cv::Mat better, coarseBetter;
            cv::compare(fine, bestFine, better, cv::CMP_GT);
            fine.copyTo(bestFine, better);
            fineIndex.setTo(static_cast<int>(k), better);
            leastFine = cv::min(leastFine, fine);
            leastCoarse = cv::min(leastCoarse, coarse);
            cv::compare(coarse, bestCoarse, coarseBetter, cv::CMP_GT);
            coarse.copyTo(bestCoarse, coarseBetter);
            coarseIndex.setTo(static_cast<int>(k), coarseBetter);
        }
        // The focus peak's prominence: the sharpest against the blurriest, over a few pixels.
        cv::GaussianBlur(bestFine, bestFine, cv::Size(), 2.0);
        // Where the sharpest over the wider neighbourhood is the first or the last picture (the
        // focus lay beyond the stack there) and the finest choice is not clearly sharper than
        // it, the difference is the noise's: the wider choice holds.
        {
            cv::Mat coarseChoiceFine = cv::Mat::zeros(bestFine.size(), CV_32F);
            for (std::size_t k = 0; k < s.kept.size(); ++k) {
                cv::Mat fine, mine;
                cv::GaussianBlur(Sharpness(s.kept[k].picture), fine, cv::Size(), 2.0);
                cv::compare(coarseIndex, static_cast<double>(k), mine, cv::CMP_EQ);
                fine.copyTo(coarseChoiceFine, mine);
            }
            cv::Mat close, first, last;
            cv::compare(bestFine, coarseChoiceFine * kNoiseMargin, close, cv::CMP_LT);
            cv::compare(coarseIndex, 0.0, first, cv::CMP_EQ);
            cv::compare(coarseIndex, static_cast<double>(s.kept.size() - 1), last, cv::CMP_EQ);
            close &= first | last;
            coarseIndex.copyTo(fineIndex, close);
        }
        cv::GaussianBlur(leastFine, leastFine, cv::Size(), 2.0);
        const cv::Mat fineProminence = bestFine / cv::max(leastFine, 1.0);
        const cv::Mat patchProminence = bestCoarse / cv::max(leastCoarse, 1.0) * kPatchTrust;
        // Where the finest choice agrees with the wider one, or its peak is clear, it stands
        // (beside a depth edge the patch sees both surfaces, and must not soften the edge).
        cv::Mat prominence = cv::min(fineProminence, patchProminence), stands, agrees;
        cv::compare(fineProminence, kStrongPeak, stands, cv::CMP_GE);
        cv::compare(fineIndex, coarseIndex, agrees, cv::CMP_EQ);
        fineProminence.copyTo(prominence, stands | agrees);
        cv::Mat share = (prominence - kEvenPeak) / (kClearPeak - kEvenPeak);
        share = cv::max(cv::min(share, 1.0), 0.0);
        cv::GaussianBlur(share, s.sharpShare, cv::Size(), 3.0);
        cv::Mat none;
        cv::compare(share, 0.0, none, cv::CMP_LE);
        // Where the finest choice disagrees with the wider one and its peak is not unmistakable,
        // the wider choice holds too: among many pictures blurred nearly alike, the finest
        // choice follows each pixel's noise, and the picture is taken from a grainy patchwork.
        cv::Mat weak;
        cv::compare(fineProminence, kUnmistakablePeak, weak, cv::CMP_LT);
        coarseIndex.copyTo(fineIndex, none | (weak & ~agrees));
        cv::Mat index8, filtered;
        fineIndex.convertTo(index8, CV_8U, 255.0 / std::max<int>(1, s.given - 1));
        cv::medianBlur(index8, filtered, 5);
        filtered.convertTo(s.decided, CV_16U, std::max<int>(1, s.given - 1) / 255.0);
    }
    if (sharpShare) *sharpShare = s.sharpShare;
    return s.decided;
}

} // namespace

QImage FocusStack::Result() const
{
    const State& s = *state_;
    if (s.result.empty()) return {};
    if (!s.options.keepFrames || s.kept.size() < 2) return ImageOfBgr(s.result);
    // Each pixel from the kept aligned picture the decision gives.
    cv::Mat chosenShare;
    const cv::Mat& decided = Decision(s, &chosenShare);
    cv::Mat merged = s.result.clone();
    for (int y = 0; y < merged.rows; ++y) {
        const auto* chosen = decided.ptr<std::uint16_t>(y);
        cv::Vec3b* out = merged.ptr<cv::Vec3b>(y);
        for (int x = 0; x < merged.cols; ++x)
            if (chosen[x] < s.kept.size()) out[x] = s.kept[chosen[x]].picture.at<cv::Vec3b>(y, x);
    }
    // Where no picture was sharp (a background out of focus in every one), choosing pixel by
    // pixel would only pick the noise: there the pictures are averaged, smoothly blended
    // into the choices around.
    cv::Mat mean = cv::Mat::zeros(merged.size(), CV_32FC3);
    for (const State::Kept& frame : s.kept) cv::accumulate(frame.picture, mean);
    mean /= static_cast<double>(s.kept.size());
    cv::Mat chosen32, share3, blended;
    merged.convertTo(chosen32, CV_32FC3);
    cv::merge(std::vector<cv::Mat>{chosenShare, chosenShare, chosenShare}, share3);
    blended = chosen32.mul(share3) + mean.mul(cv::Scalar::all(1.0) - share3);
    blended.convertTo(merged, CV_8UC3);
    return ImageOfBgr(merged);
}

QImage FocusStack::RunningResult() const
{
    const cv::Mat& result = state_->result;
    if (result.empty()) return {};
    return QImage(result.data, result.cols, result.rows, static_cast<qsizetype>(result.step), QImage::Format_BGR888)
        .copy();
}

QImage FocusStack::DepthMap() const
{
    const State& s = *state_;
    if (s.index.empty()) return {};
    cv::Mat grey;
    const bool decided = s.options.keepFrames && s.kept.size() >= 2;
    (decided ? Decision(s) : s.index).convertTo(grey, CV_8U, 255.0 / std::max<int>(1, s.given - 1));
    QImage image(grey.data, grey.cols, grey.rows, static_cast<qsizetype>(grey.step), QImage::Format_Grayscale8);
    return image.copy();
}

int FocusStack::SourceAt(int x, int y) const
{
    const State& s = *state_;
    if (s.index.empty() || x < 0 || y < 0 || x >= s.size.width || y >= s.size.height) return -1;
    const bool decided = s.options.keepFrames && s.kept.size() >= 2;
    return (decided ? Decision(s) : s.index).at<std::uint16_t>(y, x);
}

std::array<double, 6> FocusStack::LastTransform() const
{
    const cv::Matx33d& t = state_->toLast;
    return {t(0, 0), t(0, 1), t(0, 2), t(1, 0), t(1, 1), t(1, 2)};
}

int FocusStack::KeptReduction() const
{
    return !state_->options.keepFrames && state_->options.keepReducedBy > 0 ? state_->keptReduction : 1;
}

int FocusStack::KeptCount() const
{
    return static_cast<int>(state_->kept.size());
}

QImage FocusStack::KeptPicture(int i) const
{
    return i >= 0 && i < KeptCount() ? ImageOfBgr(state_->kept[static_cast<std::size_t>(i)].picture) : QImage();
}

double FocusStack::KeptScale(int i) const
{
    return i >= 0 && i < KeptCount() ? state_->KeptScales()[static_cast<std::size_t>(i)] : 1.0;
}

double FocusStack::KeptFocusPosition(int i) const
{
    return i >= 0 && i < KeptCount() ? state_->kept[static_cast<std::size_t>(i)].position
                                     : std::numeric_limits<double>::quiet_NaN();
}
