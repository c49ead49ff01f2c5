#include "app/recording/CompressorChoice.h"

#include "framework/LangText.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QVBoxLayout>

namespace {

CompressorChoiceHook& Hook()
{
    static CompressorChoiceHook hook;
    return hook;
}

// Opens a recording with the encoder in a private temporary folder, which goes with it:
// no file of the user's is ever in the way.
bool Probe(const VideoEncoderChoice& encoder, QSize size)
{
    const QTemporaryDir folder;
    if (!folder.isValid()) return false;
    auto result =
        AviWriter::Open(folder.filePath(QStringLiteral("probe.avi")), size.width(), size.height(), 5, encoder);
    return result.writer != nullptr;
}

} // namespace

CompressionOptions CompressionOptions::From(const VideoEncoderChoice& encoder)
{
    CompressionOptions options;
    options.type = {'v', 'i', 'd', 'c'};
    for (std::size_t i = 0; i < 4; ++i) options.handler[i] = i < encoder.handler.size() ? encoder.handler[i] : ' ';
    options.quality = encoder.quality;
    options.flags = 8;
    options.encoder = encoder;
    return options;
}

QString CompressorRowText(const VideoEncoderChoice& encoder)
{
    if (encoder.passthrough) return LangText("CameraMotionJpeg", 64, "Camera's Motion JPEG (no re-encoding)");
    return QStringLiteral("%1  (%2)")
        .arg(QString::fromStdString(encoder.description), QString::fromStdString(encoder.handler).trimmed());
}

CCompressorChoiceDlg::CCompressorChoiceDlg(std::vector<VideoEncoderChoice> encoders, bool framesCorrected,
                                           QWidget* parent)
    : QDialog(parent), encoders_(std::move(encoders))
{
    setWindowTitle(LangText("CompressTilte", 64, "Compress Format Selection"));
    auto* layout = new QVBoxLayout(this);
    list_ = new QListWidget(this);
    for (const auto& encoder : encoders_) list_->addItem(CompressorRowText(encoder));
    layout->addWidget(list_);
    note_ = new QLabel(this);
    note_->setWordWrap(true);
    note_->setVisible(false);
    layout->addWidget(note_);
    auto* qualityLabel = new QLabel(QStringLiteral("Quality"), this);
    layout->addWidget(qualityLabel);
    quality_ = new QSlider(Qt::Horizontal, this);
    quality_->setRange(1, 100);
    layout->addWidget(quality_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(LangText("OK", 64, "OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(LangText("Cancel", 64, "Cancel"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QListWidget::currentRowChanged, this, [this, qualityLabel, framesCorrected](int row) {
        const bool has = row >= 0 && encoders_[static_cast<std::size_t>(row)].hasQuality;
        quality_->setEnabled(has);
        qualityLabel->setEnabled(has);
        if (has) quality_->setValue(encoders_[static_cast<std::size_t>(row)].quality);
        // The camera's frames are stored before any correction could reach them.
        const bool uncorrected = framesCorrected && row >= 0 && encoders_[static_cast<std::size_t>(row)].passthrough;
        note_->setText(uncorrected ? LangText("PassthroughUncorrected", 160,
                                              "The camera's frames are stored as they come: the flat-field correction "
                                              "is not applied to this recording.")
                                   : QString());
        note_->setVisible(uncorrected);
    });
    if (!encoders_.empty()) list_->setCurrentRow(0);
    resize(420, 300);
}

QString CCompressorChoiceDlg::Note() const
{
    return note_->text();
}

std::optional<VideoEncoderChoice> CCompressorChoiceDlg::Chosen() const
{
    const int row = list_->currentRow();
    if (row < 0) return std::nullopt;
    VideoEncoderChoice chosen = encoders_[static_cast<std::size_t>(row)];
    if (chosen.hasQuality) chosen.quality = quality_->value();
    return chosen;
}

CompressorChoiceHook SetCompressorChoiceHook(CompressorChoiceHook hook)
{
    CompressorChoiceHook old = std::move(Hook());
    Hook() = std::move(hook);
    return old;
}

std::vector<VideoEncoderChoice> CompressorsFor(const RecordingStream& stream)
{
    std::vector<VideoEncoderChoice> choices;
    if (stream.cameraSendsMotionJpeg) choices.push_back(CameraMotionJpeg());
    for (VideoEncoderChoice& encoder : AviVideoEncoders(stream.size.width(), stream.size.height()))
        choices.push_back(std::move(encoder));
    return choices;
}

bool ChooseCompressor(CompressionOptions& options, const RecordingStream& stream, QWidget* parent)
{
    const std::vector<VideoEncoderChoice> encoders = CompressorsFor(stream);
    std::optional<VideoEncoderChoice> chosen;
    if (Hook()) {
        chosen = Hook()(encoders);
    } else {
        CCompressorChoiceDlg dialog(encoders, stream.framesCorrected, parent);
        if (dialog.exec() == QDialog::Accepted) chosen = dialog.Chosen();
    }
    const QSize size = stream.size;
    if (!chosen || !Probe(*chosen, size)) return false;
    options = CompressionOptions::From(*chosen);
    return true;
}

bool SetDefaultCompressor(CompressionOptions& options, QSize size)
{
    const VideoEncoderChoice basic = DefaultVideoEncoder();
    if (!Probe(basic, size)) return false;
    options = CompressionOptions::From(basic);
    return true;
}
