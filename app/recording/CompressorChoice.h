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

class QListWidget;
class QSlider;

struct CompressionOptions {
    std::array<char, 4> type{};    // "vidc" once set
    std::array<char, 4> handler{}; // the compressor's code, e.g. "MSVC"
    int keyFrameInterval = 0;
    int quality = 0;
    int bytesPerSecond = 0;
    int flags = 0;                 // 8: the options are valid
    VideoEncoderChoice encoder;    // the compressor's own settings (its FFmpeg encoder)

    bool IsValid() const { return (flags & 8) != 0; }
    static CompressionOptions From(const VideoEncoderChoice& encoder);
};

// The list of compressors with a quality slider, titled by key "CompressTilte".
class CCompressorChoiceDlg : public QDialog {
    Q_OBJECT
public:
    CCompressorChoiceDlg(std::vector<VideoEncoderChoice> encoders, QWidget* parent = nullptr);
    std::optional<VideoEncoderChoice> Chosen() const;
    QListWidget& List() const { return *list_; }
    QSlider& Quality() const { return *quality_; }

private:
    std::vector<VideoEncoderChoice> encoders_;
    QListWidget* list_ = nullptr;
    QSlider* quality_ = nullptr;
};

// Runs the choice (tests answer it instead of a person); none when cancelled.
using CompressorChoiceHook = std::function<std::optional<VideoEncoderChoice>(const std::vector<VideoEncoderChoice>&)>;
CompressorChoiceHook SetCompressorChoiceHook(CompressorChoiceHook hook);

// The Compress button: the choice dialog for the encoders that open at `size`; a confirmed
// choice that the probe accepts goes into `options`. False when nothing changed.
bool ChooseCompressor(CompressionOptions& options, QSize size, QWidget* parent);
// OK without a choice, and F3: Microsoft Video 1 at its default quality, after the probe.
bool SetDefaultCompressor(CompressionOptions& options, QSize size);
