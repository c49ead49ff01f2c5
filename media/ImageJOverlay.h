#pragma once
// Shapes over a picture as ImageJ and Fiji keep them in a TIFF: an overlay of ROIs, each in
// ImageJ's ROI format ("Iout", big-endian), gathered in ImageJ's metadata block ("IJIJ",
// the TIFF tags 50838 and 50839). Written so ImageJ shows and measures them; read from our
// own files and from ImageJ's. The bytes read come from files: every count and offset is
// checked against what is there.

#include "media/PictureMetadata.h"

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <vector>

// The TIFF tags of ImageJ's metadata: the sizes of its parts, and the parts.
constexpr std::uint32_t kImageJMetadataCountsTag = 50838;
constexpr std::uint32_t kImageJMetadataTag = 50839;

// One shape as an ImageJ ROI.
QByteArray EncodeImageJRoi(const OverlayShape& shape);
// A ROI's bytes as a shape; none for what is not a ROI or a kind we do not take (a composite
// shape, an image).
std::optional<OverlayShape> DecodeImageJRoi(const QByteArray& bytes);

struct ImageJMetadata {
    std::vector<std::uint32_t> counts; // the header's size, then each part's
    QByteArray bytes;
};
// The metadata block of an overlay; its header's numbers in the TIFF's byte order.
ImageJMetadata EncodeImageJOverlay(const std::vector<OverlayShape>& shapes, bool bigEndianFile);
// The overlay (and the selection saved with it) a metadata block holds; shapes it cannot
// take are left out.
std::vector<OverlayShape> DecodeImageJOverlay(const std::vector<std::uint32_t>& counts, const QByteArray& bytes,
                                              bool bigEndianFile);
