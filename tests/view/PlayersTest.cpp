#include "platform/qt/QtPlayers.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

// Whatever the desktop offers for sound, the players take every command and
// stay silent rather than fail.
TEST(QtPlayersTest, MissingFilesAndStrayCommandsAreHarmless)
{
    QTemporaryDir dir;
    QtPlayers players(dir.path());
    players.command(1, QStringLiteral("Play")); // before anything is set up
    players.command(0, QStringLiteral("Open"));
    players.command(5, QStringLiteral("Open"));
    for (int p = 1; p <= 4; ++p) {
        players.configure(p, {QStringLiteral("WaveAudio"), QStringLiteral("Missing%1.WAV").arg(p)});
        players.command(p, QStringLiteral("Open"));
    }
    for (int p = 1; p <= 4; ++p) {
        players.command(p, QStringLiteral("Prev"));
        players.command(p, QStringLiteral("Play"));
    }
    SUCCEED();
}
