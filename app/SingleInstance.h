#pragma once
// One running copy per user and display. The running copy listens on a local socket in the
// user's private runtime folder, named from the marker and the display; a second copy
// connects, asks it to show itself, and ends without showing anything. Both ends talk only
// to processes of the same user.

#include <QObject>
#include <QString>

#include <functional>
#include <sys/types.h>
#include <unistd.h>

class QLocalServer;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `name` overrides the socket's name (tests); empty means the program's own. A name
    // without a folder goes into PrivateFolder(). `trustedUser` is the user whose copies
    // are answered and believed (this process's user; tests pass another to play a stranger).
    explicit SingleInstance(QString name = {}, QObject* parent = nullptr, uid_t trustedUser = ::getuid());
    ~SingleInstance() override;

    static QString DefaultName(); // "Vizmora-<display>"
    // $XDG_RUNTIME_DIR when it is this user's private folder, else a 0700 folder of this
    // user's under the temporary folder; empty when neither can be had safely.
    static QString PrivateFolder();
    // The socket's full path; empty when there is no safe place for it.
    const QString& Path() const { return path_; }

    // True when a running copy of the same user answered and was asked to come forward.
    bool ActivateRunningCopy(int timeoutMs = 1000) const;

    // Marks this copy as the running one. A socket left behind by a copy that crashed (or
    // one held by a stranger) is replaced. `onActivate` runs (on this thread) when another
    // copy starts. False when there is no safe place: the program then runs unguarded.
    bool Attach(std::function<void()> onActivate);
    // Stops answering other copies and removes the socket.
    void Detach();

private:
    QString path_;
    uid_t trustedUser_;
    QLocalServer* server_ = nullptr;
    std::function<void()> onActivate_;
};
