#include "view/QtPlayers.h"

#include "files/FileLookup.h"

#include <QAudioDevice>
#include <QFileInfo>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

#include <utility>

QtPlayers::QtPlayers(QString workDir) : workDir_(std::move(workDir)) {}

QtPlayers::~QtPlayers() = default;

QtPlayers::Player* QtPlayers::find(int player)
{
    if (player < 1 || player > static_cast<int>(players_.size())) {
        return nullptr;
    }
    return &players_.at(static_cast<size_t>(player - 1));
}

const QSoundEffect* QtPlayers::effect(int player) const
{
    if (player < 1 || player > static_cast<int>(players_.size())) {
        return nullptr;
    }
    return players_.at(static_cast<size_t>(player - 1)).effect.get();
}

void QtPlayers::configure(int player, const PlayerSettings& settings)
{
    if (Player* p = find(player)) {
        p->fileName = settings.fileName;
    }
}

void QtPlayers::command(int player, const QString& command)
{
    Player* p = find(player);
    if (p == nullptr) {
        return;
    }
    if (command == QLatin1String("Open")) {
        // Without a sound device there is nothing to open; the player stays
        // silent.
        if (QMediaDevices::defaultAudioOutput().isNull()) {
            return;
        }
        if (!p->effect) {
            p->effect = std::make_unique<QSoundEffect>();
        }
        // Loads in the background; a file that cannot be loaded just stays
        // silent, and a missing one is not even tried.
        const QString path = FileLookup::resolve(workDir_, p->fileName);
        p->effect->setSource(QFileInfo::exists(path) ? QUrl::fromLocalFile(path) : QUrl());
    } else if (!p->effect) {
        return;
    } else if (command == QLatin1String("Prev")) {
        // Stopping rewinds: the next play starts from the beginning.
        p->effect->stop();
    } else if (command == QLatin1String("Play")) {
        p->effect->play();
    }
}
