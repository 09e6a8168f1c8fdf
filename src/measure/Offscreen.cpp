#include "measure/Offscreen.h"

#include <QByteArray>
#include <QtGlobal>

namespace Offscreen
{

void usePlatform()
{
    // Without a display (or with one that cannot be reached) the offscreen
    // platform is the one that always works, and it measures and draws the
    // same on every machine.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
}

} // namespace Offscreen
