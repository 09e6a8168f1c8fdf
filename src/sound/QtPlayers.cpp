#include "sound/QtPlayers.h"

#include "files/FileLookup.h"

#include <QAudioDevice>
#include <QFileInfo>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

#include <utility>

QtPlayers::QtPlayers(QString workDir) : workDir_(std::move(workDir)) {}

QtPlayers::~QtPlayers() = default;

const QSoundEffect* QtPlayers::effect(SoundCue cue) const
{
    return effects_.at(static_cast<size_t>(cue)).get();
}

void QtPlayers::open(SoundCue cue, const QString& fileName)
{
    // Without a sound device there is nothing to open; the player stays
    // silent.
    if (QMediaDevices::defaultAudioOutput().isNull()) {
        return;
    }
    std::unique_ptr<QSoundEffect>& effect = effects_.at(static_cast<size_t>(cue));
    if (!effect) {
        effect = std::make_unique<QSoundEffect>();
    }
    // Loads in the background; a file that cannot be loaded just stays
    // silent, and a missing one is not even tried.
    const QString path = FileLookup::resolve(workDir_, fileName);
    effect->setSource(QFileInfo::exists(path) ? QUrl::fromLocalFile(path) : QUrl());
}

void QtPlayers::rewind(SoundCue cue)
{
    // Stopping rewinds: the next play starts from the beginning.
    if (QSoundEffect* effect = effects_.at(static_cast<size_t>(cue)).get()) {
        effect->stop();
    }
}

void QtPlayers::play(SoundCue cue)
{
    if (QSoundEffect* effect = effects_.at(static_cast<size_t>(cue)).get()) {
        effect->play();
    }
}
