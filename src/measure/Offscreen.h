#pragma once

// The programs that only measure text (the server, the check) never show a
// window: Qt draws for them without a display.
namespace Offscreen
{

// Call before the application object is made. A platform the user chose in
// QT_QPA_PLATFORM is kept.
void usePlatform();

} // namespace Offscreen
