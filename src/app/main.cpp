#include "view/Form1View.h"
#include "view/JapaneseFonts.h"
#include "view/ProgramImages.h"
#include "view/QtDialogs.h"
#include "view/QtFonts.h"
#include "view/QtPlayers.h"
#include "view/QtTextMeasure.h"
#include "state/Module1.h"
#include "forms/Form1.h"

#include <QApplication>
#include <QDir>

int main(int argc, char* argv[])
{
    // The program takes no command line: Qt sees only the program's name.
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication app(qtArgc, argv);
    const bool japaneseFont = QtFonts::installSubstitutions();
    QApplication::setWindowIcon(ProgramImages::icon());

    // Data files are opened by bare name in the working directory.
    const QString workDir = QDir::currentPath();
    Module1 state;
    QtTextMeasure measure;
    QtPlayers players(workDir);
    QtDialogs dialogs;
    Form1 form(state, measure, players, dialogs, workDir);
    Form1View view(form);
    dialogs.setMainWindow(&view);

    view.centreOnScreen();
    view.show();
    // Start-up runs before the first paint, so the window first appears as
    // the series list screen.
    view.load();
    if (view.ended()) {
        return 0;
    }
    if (!japaneseFont) {
        dialogs.messageBox(JapaneseFonts::missingFontMessage(), Dialogs::Buttons::Ok,
                           Dialogs::Icon::Exclamation);
    }
    return QApplication::exec();
}
