#include "sound/SoundModule.h"

#include "sound/QtPlayers.h"

extern "C" Q_DECL_EXPORT Players* velmorant_create_players(const QString* workDir)
{
    return new QtPlayers(*workDir);
}
