#include "answer/SoundCues.h"

#include "answer/Players.h"

#include <array>

namespace SoundCues
{

namespace
{
const std::array<const char*, 4> Files = {"Seikai.WAV", "Machigai.WAV", "MusMax.WAV", "MusMin.WAV"};
}

const char* fileName(int player)
{
    return player >= 1 && player <= 4 ? Files.at(player - 1) : "";
}

void openAll(Players& players)
{
    for (int p = 1; p <= 4; ++p) {
        PlayerSettings s;
        s.setting24 = true;
        s.setting25 = true;
        s.setting26 = false;
        s.deviceType = QStringLiteral("WaveAudio");
        s.fileName = QString::fromLatin1(fileName(p));
        players.configure(p, s);
    }
    for (int p = 1; p <= 4; ++p) {
        players.command(p, QStringLiteral("Open"));
    }
}

void rewindAll(Players& players)
{
    for (int p = 1; p <= 4; ++p) {
        players.command(p, QStringLiteral("Prev"));
    }
}

void rewind(Players& players, int player)
{
    players.command(player, QStringLiteral("Prev"));
}

void play(Players& players, int player)
{
    players.command(player, QStringLiteral("Play"));
}

} // namespace SoundCues
