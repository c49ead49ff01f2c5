#include "app/settings/FlatFieldControl.h"

#include "capture/CaptureGraph.h"
#include "framework/Logging.h"

#include <QFile>
#include <QMetaObject>

FlatFieldControl::FlatFieldControl(CCaptureGraph& engine, QString configFolder, QObject* parent)
    : QObject(parent), engine_(engine), store_(std::move(configFolder))
{
    connect(&engine_, &CCaptureGraph::StreamStarted, this, [this](QSize) { Reload(); });
}

bool FlatFieldControl::HasReference() const
{
    const auto reference = step_->Reference();
    return reference && !reference->white.empty();
}

bool FlatFieldControl::HasDark() const
{
    const auto reference = step_->Reference();
    return reference && !reference->dark.empty();
}

QString FlatFieldControl::OffMarker() const
{
    return store_.PathFor(engine_.CurrentIdentity(), size_.width(), size_.height()) + QStringLiteral(".off");
}

void FlatFieldControl::Reload()
{
    size_ = engine_.CaptureSize();
    QString error;
    std::optional<FlatFieldReference> reference =
        store_.Load(engine_.CurrentIdentity(), size_.width(), size_.height(), &error);
    if (!error.isEmpty()) qCWarning(lcCapture) << "flat-field reference not used:" << error;
    step_->SetReference(std::move(reference));
    step_->SetEnabled(!QFile::exists(OffMarker()));
    emit Changed();
}

void FlatFieldControl::SetOn(bool on)
{
    step_->SetEnabled(on);
    if (on) QFile::remove(OffMarker());
    else QFile(OffMarker()).open(QIODevice::WriteOnly);
    emit Changed();
}

void FlatFieldControl::Take(FlatFieldCorrection::Capture what)
{
    // The reference is taken on the stage's worker; storing it is the window thread's.
    step_->StartCapture(what, kReferenceFrames, [this](const FlatFieldReference& taken) {
        QMetaObject::invokeMethod(
            this, [this, taken] { Store(taken); }, Qt::QueuedConnection);
    });
    emit Changed();
}

void FlatFieldControl::Store(const FlatFieldReference& reference)
{
    step_->SetReference(reference);
    QString error;
    const bool complete = !reference.white.empty();
    if (complete && !store_.Save(engine_.CurrentIdentity(), reference, &error)) {
        emit Taken(error);
        emit Changed();
        return;
    }
    if (complete) SetOn(true);
    emit Taken(QString());
    emit Changed();
}

void FlatFieldControl::Remove()
{
    store_.Remove(engine_.CurrentIdentity(), size_.width(), size_.height());
    QFile::remove(OffMarker());
    step_->SetReference(std::nullopt);
    emit Changed();
}
