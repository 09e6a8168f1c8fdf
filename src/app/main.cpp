#include "app/CommandLine.h"
#include "files/WorkFolder.h"
#include "measure/JapaneseFonts.h"
#include "measure/Offscreen.h"
#include "measure/QtFonts.h"
#include "measure/QtTextMeasure.h"
#include "record/LearnerRecord.h"
#include "session/Session.h"
#include "sound/DeferredPlayers.h"
#include "window/BoardPreview.h"
#include "window/FirstFrame.h"
#include "window/MainWindow.h"
#include "window/ProgramImages.h"
#include "window/QtDialogs.h"
#include "window/SessionEnd.h"
#include "window/WarmUp.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QStringList>
#include <QThread>

#include <cstdio>
#include <memory>
#include <utility>

#include <pwd.h>
#include <unistd.h>

namespace
{

// Help, version and mistakes in the command line are answered on the
// terminal, before anything needs a display. Returns the exit status, or -1
// to go on and open the window.
int answerCommandLine(const CommandLine::Request& request)
{
    using Action = CommandLine::Request::Action;
    switch (request.action) {
    case Action::Help:
        std::fputs(qUtf8Printable(CommandLine::helpText()), stdout);
        return 0;
    case Action::Version:
        std::fputs(qUtf8Printable(CommandLine::versionText()), stdout);
        return 0;
    case Action::BadUsage:
        std::fprintf(stderr, "velmorant: %s\n%s\n", qUtf8Printable(request.error),
                     qUtf8Printable(QStringLiteral("使い方は velmorant --help で表示します。")));
        return 2;
    case Action::Run:
    case Action::DrawPreviews:
        break;
    }
    return -1;
}

// Without a display Qt would end the program with an abort (status 134)
// and an English line; a learner started it over ssh or in a text console.
bool noDisplay(const CommandLine::Request& request)
{
    if (request.platformGiven) {
        return false;
    }
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (!qEnvironmentVariableIsEmpty(name)) {
            return false;
        }
    }
    std::fprintf(stderr, "velmorant: %s\n",
                 qUtf8Printable(QStringLiteral(
                     "画面（ディスプレイ）がありません。デスクトップの中で起動して下さい。"
                     "（DISPLAY も WAYLAND_DISPLAY も設定されていません）")));
    return true;
}

// Data files are opened by bare name in the working directory: the folder
// chosen and made current, or nothing once the learner has been told why not.
QString enterWorkFolder(const CommandLine::Request& request, Dialogs& dialogs)
{
    const WorkFolder::Choice folder =
        WorkFolder::prepare(request.folders, WorkFolder::Places::ofThisProcess());
    if (folder.error.isEmpty() && QDir::setCurrent(folder.folder)) {
        return folder.folder;
    }
    const QString text =
        folder.error.isEmpty()
            ? QStringLiteral("作業用のフォルダ「%1」に移れません。").arg(folder.folder)
            : folder.error;
    qWarning("velmorant: %s", qUtf8Printable(text));
    dialogs.messageBox(text, Dialogs::Buttons::Ok, Dialogs::Icon::Critical);
    return {};
}

// The learner whose answers are recorded: the one named on the command
// line, else the login name.
QString learnerOf(const CommandLine::Request& request)
{
    if (!request.learner.isEmpty()) {
        return request.learner;
    }
    if (const passwd* user = ::getpwuid(::geteuid()); user && user->pw_name && *user->pw_name) {
        return QString::fromLocal8Bit(user->pw_name);
    }
    const QString fromEnvironment = qEnvironmentVariable("USER");
    return fromEnvironment.isEmpty() ? QStringLiteral("learner") : fromEnvironment;
}

// velmorant-check --preview: the check has no widgets, so this program draws
// its pictures, offscreen. The series come on standard input as a JSON
// array of {"path", "title"}; what went wrong goes to standard output, for
// the check to tell.
int drawPreviews(const QString& outDir, char* argv[])
{
    Offscreen::usePlatform();
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QFile input;
    const QJsonDocument list = input.open(stdin, QIODevice::ReadOnly)
                                   ? QJsonDocument::fromJson(input.readAll())
                                   : QJsonDocument();
    if (!list.isArray()) {
        std::fputs(qUtf8Printable(QStringLiteral("盤面の絵にする問題集の一覧が読めません\n")),
                   stdout);
        return 2;
    }
    QList<BoardPreview::Series> series;
    for (const QJsonValue& entry : list.array()) {
        series.append({entry[QLatin1String("path")].toString(),
                       entry[QLatin1String("title")].toString(),
                       entry[QLatin1String("keep")].toBool()});
    }
    QString error;
    if (!BoardPreview::write(outDir, series, &error)) {
        std::printf("%s\n", qUtf8Printable(error));
        return 1;
    }
    return 0;
}

} // namespace

namespace
{

// The window on `workDir`, with the learner's record; returns the
// program's exit status.
int runWindow(const CommandLine::Request& request, const QString& workDir, QtDialogs& dialogs,
              bool japaneseFont)
{
    QtTextMeasure measure;
    // Sound support is loaded once the window is on the screen; what the
    // start-up asks of the players waits for it, in order.
    DeferredPlayers players(
        [workDir] { return DeferredPlayers::loadModule(DeferredPlayers::modulePath(), workDir); });
    auto learnerRecord = std::make_unique<LearnerRecord>(
        workDir, learnerOf(request), learnerOf(request), LearnerDays(request.dayStart));
    LearnerRecord& record = *learnerRecord;
    SessionPorts ports;
    ports.record = std::move(learnerRecord);
    ports.players = &players;
    ports.dialogs = &dialogs;
    Session session(workDir, measure, std::move(ports));
    MainWindow view(session);
    dialogs.setMainWindow(&view);
    // The first frame does not wait for a year of answers: the list shows
    // the record's part once it is read. The read ends before the window goes.
    record.readAhead([&view] {
        QMetaObject::invokeMethod(
            &view, [&view] { view.recordRead(); }, Qt::QueuedConnection);
    });
    const auto readBeforeWindowGoes = qScopeGuard([&record] { record.refresh(); });
    // A logout, a shutdown, a closed terminal or Ctrl+C in it ends the
    // program as closing the window does, so that no mark is lost.
    SessionEnd sessionEnd([&view] { view.endBySession(); });

    // Watched before showing, so that an early frame (a message box during
    // start-up runs its own event loop) is not missed.
    afterFirstFrame(&view, [&players] { players.start(); });
    view.centreOnScreen();
    view.show();
    // Start-up runs before the first paint: the window first shows the series list.
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

} // namespace

int main(int argc, char* argv[])
{
    QStringList words;
    for (int i = 0; i < argc; ++i) {
        words.append(QFile::decodeName(argv[i]));
    }
    const CommandLine::Request request = CommandLine::read(words);
    if (const int status = answerCommandLine(request); status >= 0) {
        return status;
    }
    if (request.action == CommandLine::Request::Action::DrawPreviews) {
        return drawPreviews(request.previewDir, argv);
    }
    if (noDisplay(request)) {
        return 2;
    }
    // Qt takes the first thread that uses it for the main thread: this one,
    // before the warm-up thread decodes its first picture. Otherwise, on a
    // busy machine, the warm-up thread could be taken for it, and the window
    // then let clicks and keys go.
    (void)QThread::currentThread();
    // Slow first steps run beside Qt's setting up of the application.
    WarmUp warmUp;
    // Qt takes its own options out of the command line.
    int qtArgc = argc;
    QApplication app(qtArgc, argv);
    const auto joinWarmUp = qScopeGuard([&warmUp] { warmUp.finish(); });
    // Qt's font substitutions are not guarded: they are all in place before
    // the warm-up thread looks any face up.
    const bool japaneseFont = QtFonts::installSubstitutions();
    warmUp.applicationReady();
    QApplication::setWindowIcon(ProgramImages::icon());
    // Ties the windows to the menu entry and its icon on Wayland.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.velmorant.Velmorant"));
    QtDialogs dialogs;

    const QString workDir = enterWorkFolder(request, dialogs);
    if (workDir.isEmpty()) {
        return 1;
    }
    return runWindow(request, workDir, dialogs, japaneseFont);
}
