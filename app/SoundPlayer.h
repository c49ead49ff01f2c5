#pragma once
// Plays the program's three sounds asynchronously; a new sound cuts the one playing. A
// machine without a sound device plays nothing and reports nothing.

#include <QObject>

#include <map>

class QSoundEffect;

class SoundPlayer : public QObject {
    Q_OBJECT
public:
    explicit SoundPlayer(QObject* parent = nullptr);
    void Play(int soundId);
    int LastPlayed() const { return lastPlayed_; }

private:
    std::map<int, QSoundEffect*> effects_;
    int lastPlayed_ = 0;
};
