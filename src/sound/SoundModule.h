#pragma once

#include <QString>

class Players;

// The sound players built as a module of their own, so that the program
// loads Qt Multimedia only when the window is already on the screen.
namespace SoundModule
{

constexpr const char* FileName = "velmorant-sound.so";
constexpr const char* CreateSymbol = "velmorant_create_players";
// Makes the four players for the working directory; the caller owns them.
using CreatePlayers = Players* (*)(const QString* workDir);

} // namespace SoundModule
