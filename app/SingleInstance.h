#pragma once
// One running copy per user and display. The running copy listens on a local socket named
// from the marker, the user and the display; a second copy connects, asks it to show
// itself, and ends without showing anything.

#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `name` overrides the socket name (tests); empty means the program's own.
    explicit SingleInstance(QString name = {}, QObject* parent = nullptr);
    ~SingleInstance() override;

    static QString DefaultName(); // "Vizmora-<user>-<display>"
    const QString& Name() const { return name_; }

    // True when a running copy answered and was asked to come to the front.
    bool ActivateRunningCopy(int timeoutMs = 1000) const;

    // Marks this copy as the running one. A socket left behind by a copy that crashed is
    // removed first. `onActivate` runs (on this thread) when another copy starts.
    bool Attach(std::function<void()> onActivate);
    // Stops answering other copies (the window that showed itself is going away).
    void Detach();

private:
    QString name_;
    QLocalServer* server_ = nullptr;
    std::function<void()> onActivate_;
};
