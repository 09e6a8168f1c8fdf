#pragma once

#include "answer/Players.h"

#include <QString>

#include <array>
#include <memory>

class QSoundEffect;

// The four sound players on QSoundEffect. A missing or unplayable file, or a
// desktop without sound, leaves a player silent; it never reports anything.
class QtPlayers : public Players
{
public:
    explicit QtPlayers(QString workDir);
    ~QtPlayers() override;
    QtPlayers(const QtPlayers&) = delete;
    QtPlayers& operator=(const QtPlayers&) = delete;

    void configure(int player, const PlayerSettings& settings) override;
    void command(int player, const QString& command) override;

    // The sound behind player 1..4, or nullptr while it has none.
    const QSoundEffect* effect(int player) const;

private:
    struct Player {
        QString fileName;
        std::unique_ptr<QSoundEffect> effect;
    };
    Player* find(int player);

    QString workDir_;
    std::array<Player, 4> players_;
};
