#include "view/QtPlayers.h"

#include "support/TestFiles.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QTemporaryDir>
#include <QTest>
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
    EXPECT_EQ(players.effect(0), nullptr);
    EXPECT_EQ(players.effect(5), nullptr);
    for (int p = 1; p <= 4; ++p) {
        // Without a device no sound exists; with one, a missing file is not
        // even tried, so nothing plays.
        if (const QSoundEffect* effect = players.effect(p)) {
            EXPECT_TRUE(effect->source().isEmpty()) << p;
            EXPECT_FALSE(effect->isPlaying()) << p;
            EXPECT_NE(effect->status(), QSoundEffect::Ready) << p;
        }
    }
}

// With a sound server (./test starts one with a null output), every sample
// sound loads and plays to its end after its rewind.
TEST(QtPlayersTest, EverySampleSoundPlaysOnASoundServer)
{
    ASSERT_FALSE(QMediaDevices::defaultAudioOutput().isNull())
        << "no audio output: start a sound server first (. scripts/packages.sh; "
           "start_sound_server)";
    QtPlayers players(TestFiles::sourceDir() + QStringLiteral("/data"));
    const QStringList files = {"Seikai.WAV", "Machigai.WAV", "MusMax.WAV", "MusMin.WAV"};
    for (int p = 1; p <= 4; ++p) {
        players.configure(p, {QStringLiteral("WaveAudio"), files.at(p - 1)});
        players.command(p, QStringLiteral("Open"));
    }
    for (int p = 1; p <= 4; ++p) {
        const QSoundEffect* effect = players.effect(p);
        ASSERT_NE(effect, nullptr) << p;
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return effect->status() != QSoundEffect::Loading; }, 5000));
        ASSERT_EQ(effect->status(), QSoundEffect::Ready) << files.at(p - 1).toStdString();
        players.command(p, QStringLiteral("Prev"));
        players.command(p, QStringLiteral("Play"));
        EXPECT_TRUE(QTest::qWaitFor([&] { return effect->isPlaying(); }, 2000)) << p;
        EXPECT_TRUE(QTest::qWaitFor([&] { return !effect->isPlaying(); }, 5000))
            << "plays to its end: " << p;
    }
}
