#pragma once
// The recording's compressor: the options the next file is opened with, the choice dialog
// behind the Compress button, and the basic default ("MSVC"). A choice is stored only after
// a probe recording (in a private temporary folder) opened with it.

#include "media/AviWriter.h"

#include <QDialog>
#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <vector>

class QLabel;
class QListWidget;
class QSlider;

struct CompressionOptions {
    std::array<char, 4> type{};    // "vidc" once set
    std::array<char, 4> handler{}; // the compressor's code, e.g. "MSVC"
    int keyFrameInterval = 0;
    int quality = 0;
    int bytesPerSecond = 0;
    int flags = 0;              // 8: the options are valid
    VideoEncoderChoice encoder; // the compressor's own settings (its FFmpeg encoder)

    bool IsValid() const { return (flags & 8) != 0; }
    static CompressionOptions From(const VideoEncoderChoice& encoder);
};

// The list of compressors with a quality slider, titled by key "CompressTilte". The first
// row is selected at first: the camera's own Motion JPEG where it is offered.
class CCompressorChoiceDlg : public QDialog {
    Q_OBJECT
public:
    // `framesCorrected`: the live frames are corrected (flat field), which the camera's own
    // frames, stored as they come, are not; the dialog says so when they are chosen.
    CCompressorChoiceDlg(std::vector<VideoEncoderChoice> encoders, bool framesCorrected = false,
                         QWidget* parent = nullptr);
    std::optional<VideoEncoderChoice> Chosen() const;
    QListWidget& List() const { return *list_; }
    QSlider& Quality() const { return *quality_; }
    // The note under the list (empty when there is nothing to say).
    QString Note() const;

private:
    std::vector<VideoEncoderChoice> encoders_;
    QListWidget* list_ = nullptr;
    QSlider* quality_ = nullptr;
    QLabel* note_ = nullptr;
};

// The row text of a choice: the camera's Motion JPEG in the program's words, an encoder by
// its long name and code.
QString CompressorRowText(const VideoEncoderChoice& encoder);

// Runs the choice (tests answer it instead of a person); none when cancelled.
using CompressorChoiceHook = std::function<std::optional<VideoEncoderChoice>(const std::vector<VideoEncoderChoice>&)>;
CompressorChoiceHook SetCompressorChoiceHook(CompressorChoiceHook hook);

// What the recording can be made from: whether the camera sends Motion JPEG (then storing
// its frames as they are comes first), and whether the live frames are corrected.
struct RecordingStream {
    QSize size;
    bool cameraSendsMotionJpeg = false;
    bool framesCorrected = false;
};
// The choices offered for a stream, in the dialog's order.
std::vector<VideoEncoderChoice> CompressorsFor(const RecordingStream& stream);

// The Compress button: the choice dialog for what opens at the stream's size; a confirmed
// choice that the probe accepts goes into `options`. False when nothing changed.
bool ChooseCompressor(CompressionOptions& options, const RecordingStream& stream, QWidget* parent);
// OK without a choice, and F3: Microsoft Video 1 at its default quality, after the probe.
bool SetDefaultCompressor(CompressionOptions& options, QSize size);
