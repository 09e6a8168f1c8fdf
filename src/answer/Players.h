#pragma once

#include <QString>

// The four sound players MMControl1..MMControl4. Each is set up once and then
// driven by the commands "Open", "Prev" (rewind) and "Play".
struct PlayerSettings {
    QString deviceType; // "WaveAudio"
    QString fileName;   // bare name, looked up in the working directory
    bool setting24 = true;
    bool setting25 = true;
    bool setting26 = false;
};

class Players
{
public:
    virtual ~Players() = default;
    // player is 1..4, as in MMControl1..MMControl4.
    virtual void configure(int player, const PlayerSettings& settings) = 0;
    virtual void command(int player, const QString& command) = 0;
};
