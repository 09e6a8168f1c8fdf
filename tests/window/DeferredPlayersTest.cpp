#include "sound/DeferredPlayers.h"

#include "session/SoundCues.h"
#include "sound/QtPlayers.h"
#include "support/Fakes.h"
#include "support/TestFiles.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QTest>
#include <gtest/gtest.h>

// What start-up and a first answer ask of the players before the sound
// support is there reaches the real players in the same order, once; what
// comes later goes straight through.
TEST(DeferredPlayers, EarlyCallsReachTheRealPlayersInOrderOnce)
{
    FakePlayers direct;
    SoundCues::openAll(direct);
    SoundCues::rewindAll(direct);
    SoundCues::play(direct, SoundCue::Correct);

    FakePlayers* real = nullptr;
    int made = 0;
    DeferredPlayers players([&] {
        ++made;
        auto p = std::make_unique<FakePlayers>();
        real = p.get();
        return p;
    });
    SoundCues::openAll(players);
    SoundCues::rewindAll(players);
    SoundCues::play(players, SoundCue::Correct);
    EXPECT_EQ(made, 0);

    players.start();
    players.start();
    ASSERT_EQ(made, 1);
    EXPECT_EQ(real->log, direct.log);
    real->clear();
    SoundCues::rewind(players, SoundCue::MoreCorrect);
    EXPECT_EQ(real->log, QStringList{"MoreCorrect:rewind"});
}

// Without sound support the players stay silent, before and after start().
TEST(DeferredPlayers, MissingSoundModuleLeavesThePlayersSilent)
{
    EXPECT_EQ(DeferredPlayers::loadModule(QStringLiteral("/nonexistent/velmorant-sound.so"),
                                          QStringLiteral("/tmp")),
              nullptr);
    DeferredPlayers players([] { return std::unique_ptr<Players>(); });
    SoundCues::openAll(players);
    players.start();
    SoundCues::play(players, SoundCue::Correct);
    EXPECT_TRUE(players.started());

    // The module the build makes gives players.
    EXPECT_NE(
        DeferredPlayers::loadModule(QStringLiteral(VELMORANT_BINARY_DIR "/velmorant-sound.so"),
                                    QStringLiteral("/tmp")),
        nullptr);
}

// A sound asked for before the players exist still plays once they do.
TEST(DeferredPlayers, SoundAskedForBeforeStartPlays)
{
    if (QMediaDevices::defaultAudioOutput().isNull()) {
        GTEST_SKIP() << "no audio output on this machine";
    }
    QtPlayers* real = nullptr;
    DeferredPlayers players([&] {
        auto p = std::make_unique<QtPlayers>(TestFiles::sourceDir() + QStringLiteral("/data"));
        real = p.get();
        return p;
    });
    SoundCues::openAll(players);
    SoundCues::rewindAll(players);
    SoundCues::play(players, SoundCue::Correct);
    players.start();
    ASSERT_NE(real, nullptr);
    const QSoundEffect* effect = real->effect(SoundCue::Correct);
    ASSERT_NE(effect, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return effect->isPlaying(); }, 5000));
}
