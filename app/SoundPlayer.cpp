#include "app/SoundPlayer.h"

#include "resources/Resources.h"

#include <QSoundEffect>
#include <QUrl>

SoundPlayer::SoundPlayer(QObject* parent) : QObject(parent) {}

void SoundPlayer::Play(int soundId)
{
    lastPlayed_ = soundId;
    if (qEnvironmentVariableIsSet("QRV_NO_SOUND")) return;
    for (auto& [id, effect] : effects_) effect->stop();
    QSoundEffect*& effect = effects_[soundId];
    if (!effect) {
        // Made on first use, so starting the program never waits for the audio system.
        effect = new QSoundEffect(this);
        effect->setSource(QUrl(QStringLiteral("qrc") + resources::SoundPath(soundId)));
    }
    effect->play();
}
