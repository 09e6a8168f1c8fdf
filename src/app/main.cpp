#include "view/DeferredPlayers.h"
#include "view/FirstFrame.h"
#include "view/FontWarmUp.h"
#include "view/Form1View.h"
#include "view/ProgramImages.h"
#include "view/QtDialogs.h"
#include "view/QtFonts.h"
#include "view/QtTextMeasure.h"
#include "state/Module1.h"
#include "forms/Form1.h"

#include <QApplication>
#include <QDir>
#include <QScopeGuard>

int main(int argc, char* argv[])
{
    // The font configuration loads while Qt sets up the application.
    FontWarmUp fonts;
    // The program takes no command line: Qt sees only the program's name.
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication app(qtArgc, argv);
    QtFonts::installSubstitutions();
    fonts.applicationReady();
    const auto joinFonts = qScopeGuard([&fonts] { fonts.finish(); });
    QApplication::setWindowIcon(ProgramImages::icon());

    // Data files are opened by bare name in the working directory.
    const QString workDir = QDir::currentPath();
    Module1 state;
    QtTextMeasure measure;
    // Sound support is loaded once the window is on the screen; what the
    // start-up asks of the players waits for it, in order.
    DeferredPlayers players(
        [workDir] { return DeferredPlayers::loadModule(DeferredPlayers::modulePath(), workDir); });
    QtDialogs dialogs;
    Form1 form(state, measure, players, dialogs, workDir);
    Form1View view(form);
    dialogs.setMainWindow(&view);

    // Watched before showing, so that an early frame (a message box during
    // start-up runs its own event loop) is not missed.
    afterFirstFrame(&view, [&players] { players.start(); });
    view.centreOnScreen();
    view.show();
    // Start-up runs before the first paint, so the window first appears as
    // the series list screen.
    view.load();
    if (view.ended()) {
        return 0;
    }
    return QApplication::exec();
}
