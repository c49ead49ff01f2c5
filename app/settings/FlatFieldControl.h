#pragma once
// Even light for the main window: the flat-field step in the frame path, its reference for
// the microscope and capture size in use (loaded whenever the stream starts), and taking a
// new reference or dark frame on request.

#include "processing/FlatField.h"
#include "processing/FlatFieldStore.h"

#include <QObject>
#include <QSize>

#include <functional>
#include <memory>

class CCaptureGraph;

class FlatFieldControl : public QObject {
    Q_OBJECT
public:
    static constexpr int kReferenceFrames = 16;

    FlatFieldControl(CCaptureGraph& engine, QString configFolder, QObject* parent = nullptr);

    std::shared_ptr<FlatFieldCorrection> Step() const { return step_; }
    // For the microscope and size now streaming.
    bool HasReference() const;
    bool HasDark() const;
    bool IsOn() const { return step_->Enabled() && HasReference(); }
    QSize Size() const { return size_; }
    // Switches the correction on or off (remembered per microscope and size).
    void SetOn(bool on);
    // Starts taking a reference (an empty slide) or a dark frame; Taken follows.
    void Take(FlatFieldCorrection::Capture what);
    bool Taking() const { return step_->Capturing(); }
    // Forgets the reference of the microscope and size in use.
    void Remove();
    // Loads the reference for what streams now (the engine's StreamStarted does this).
    void Reload();

signals:
    // A reference or dark frame was taken and stored (or could not be: `error`).
    void Taken(const QString& error);
    void Changed();

private:
    void Store(const FlatFieldReference& reference);
    QString OffMarker() const;

    CCaptureGraph& engine_;
    FlatFieldStore store_;
    std::shared_ptr<FlatFieldCorrection> step_ = std::make_shared<FlatFieldCorrection>();
    QSize size_;
};
