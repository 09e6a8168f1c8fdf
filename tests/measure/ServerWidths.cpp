// The widths of the labels of every bundled board, measured as the server
// measures them: Qt Gui alone, offscreen, with the window's fonts. Prints one
// line per label for the copy of data/ named; the view tests compare them
// with the window's.

#include "measure/Offscreen.h"
#include "measure/QtFonts.h"
#include "measure/QtTextMeasure.h"
#include "session/Session.h"
#include "support/BundledBoards.h"

#include <QFile>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fputs("usage: server_widths FOLDER\n", stderr);
        return 2;
    }
    Offscreen::usePlatform();
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    QtFonts::installSubstitutions();

    const QtTextMeasure measure;
    Session session(QFile::decodeName(argv[1]), measure);
    session.start();
    const QStringList lines = BundledBoards::widths(session, [&measure](const Control& c) {
        return measure.measure(c.Caption(), c.Font).width();
    });
    for (const QString& line : lines) {
        std::puts(qUtf8Printable(line));
    }
    return 0;
}
