#include "view/Form1View.h"
#include "view/JapaneseFonts.h"
#include "view/ProgramImages.h"
#include "view/QtDialogs.h"
#include "view/QtFonts.h"
#include "view/QtPlayers.h"
#include "view/QtTextMeasure.h"
#include "state/Module1.h"
#include "forms/Form1.h"
#include "files/WorkFolder.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStringList>

int main(int argc, char* argv[])
{
    // The only argument is the folder to work in: Qt sees only the
    // program's name.
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication app(qtArgc, argv);
    const bool japaneseFont = QtFonts::installSubstitutions();
    QApplication::setWindowIcon(ProgramImages::icon());
    // Ties the windows to the menu entry and its icon on Wayland.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.velmorant.Velmorant"));
    QtDialogs dialogs;

    // Data files are opened by bare name in the working directory.
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.append(QFile::decodeName(argv[i]));
    }
    const WorkFolder::Choice folder =
        WorkFolder::prepare(arguments, WorkFolder::Places::ofThisProcess());
    if (!folder.error.isEmpty() || !QDir::setCurrent(folder.folder)) {
        const QString text =
            folder.error.isEmpty()
                ? QStringLiteral("作業用のフォルダ「%1」に移れません。").arg(folder.folder)
                : folder.error;
        qWarning("velmorant: %s", qUtf8Printable(text));
        dialogs.messageBox(text, Dialogs::Buttons::Ok, Dialogs::Icon::Critical);
        return 1;
    }
    const QString workDir = folder.folder;
    Module1 state;
    QtTextMeasure measure;
    QtPlayers players(workDir);
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
