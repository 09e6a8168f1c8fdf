#include "sound/QtPlayers.h"

#include "session/SoundCues.h"
#include "support/TestFiles.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

// Whatever the desktop offers for sound, the players take every call and
// stay silent rather than fail.
TEST(QtPlayersTest, MissingFilesAndStrayCallsAreHarmless)
{
    QTemporaryDir dir;
    QtPlayers players(dir.path());
    players.rewind(SoundCue::Correct); // before anything is opened
    players.play(SoundCue::Correct);
    for (const SoundCue cue : AllSoundCues) {
        players.open(cue, QStringLiteral("Missing%1.WAV").arg(static_cast<int>(cue)));
    }
    for (const SoundCue cue : AllSoundCues) {
        players.rewind(cue);
        players.play(cue);
    }
    for (const SoundCue cue : AllSoundCues) {
        // Without a device no sound exists; with one, a missing file is not
        // even tried, so nothing plays.
        if (const QSoundEffect* effect = players.effect(cue)) {
            EXPECT_TRUE(effect->source().isEmpty()) << static_cast<int>(cue);
            EXPECT_FALSE(effect->isPlaying()) << static_cast<int>(cue);
            EXPECT_NE(effect->status(), QSoundEffect::Ready) << static_cast<int>(cue);
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
    SoundCues::openAll(players);
    for (const SoundCue cue : AllSoundCues) {
        const QSoundEffect* effect = players.effect(cue);
        ASSERT_NE(effect, nullptr) << static_cast<int>(cue);
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return effect->status() != QSoundEffect::Loading; }, 5000));
        ASSERT_EQ(effect->status(), QSoundEffect::Ready)
            << effect->source().fileName().toStdString();
        players.rewind(cue);
        players.play(cue);
        EXPECT_TRUE(QTest::qWaitFor([&] { return effect->isPlaying(); }, 2000))
            << static_cast<int>(cue);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !effect->isPlaying(); }, 5000))
            << "plays to its end: " << static_cast<int>(cue);
    }
}
