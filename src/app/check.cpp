// velmorant-check: reads a teacher's files with the program's own readers
// and lays every problem out with the program's own showProblem, then prints
// what the program would refuse (errors) and what would only look poor
// (warnings), one line each, as FILE:LINE: error|warning: MESSAGE.

#include "app/CheckClassReport.h"
#include "app/CheckFit.h"
#include "app/CheckRecords.h"
#include "app/CheckReport.h"
#include "app/CheckWatch.h"
#include "app/ClassAnswers.h"
#include "files/FileLookup.h"
#include "files/TextEncoding.h"
#include "files/TextFile.h"
#include "marks/MarksFile.h"
#include "measure/BoardFindings.h"
#include "measure/Offscreen.h"
#include "measure/QtFonts.h"
#include "measure/QtTextMeasure.h"
#include "record/HomePage.h"
#include "series/Catalog.h"
#include "series/Finding.h"
#include "series/SeriesLoader.h"
#include "series/SeriesState.h"
#include "session/Session.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>

using namespace CheckReport;

namespace
{

enum Exit { Clean = 0, HasErrors = 1, BadUsage = 2 };

const char* const Usage =
    "使い方: velmorant-check [--watch] [--preview 出力フォルダ] [フォルダ]\n"
    "        velmorant-check [--watch] [--preview 出力フォルダ] 問題集ファイル...\n"
    "        velmorant-check --due [--learner 名前] [--day-start 時刻] [--database URL] "
    "[フォルダ]\n"
    "\n"
    "フォルダ（省略すると今のフォルダ）の一覧ファイル ZQCList.TXT、そこに書かれた\n"
    "問題集ファイルのすべてと、あれば Marked.txt と records/ の学習の記録を、\n"
    "Velmorant と同じ読み方で確かめます。\n"
    "ファイルを指定すると、その問題集ファイルだけを確かめます。\n"
    "\n"
    "見つけたことを 1 行ずつ「ファイル:行: error|warning: 内容」の形で示し、\n"
    "ファイルごとにまとめの行を出します。\n"
    "  error   プログラムがファイルを読まない、または問題を除くもの\n"
    "  warning 読めるが、表示が見にくくなるもの\n"
    "終了コード: 0 エラーなし（警告はあってもよい）、1 エラーあり、2 使い方の誤りなど\n"
    "\n"
    "  --preview 出力フォルダ  表示できる問題の盤面を 1 問ずつ PNG に描き、\n"
    "                          すべてを並べた index.html を作ります\n"
    "  --watch                 ファイルが保存されるたびに確かめ直し、--preview の絵も\n"
    "                          描き直します（Ctrl+C で終わります）\n"
    "  --due [--learner 名前]  records/ の学習の記録（サーバーのフォルダならその記録も）から、\n"
    "                          復習する問題を期限の早い順に\n"
    "                          1 行ずつ「学習者<TAB>問題集ファイル<TAB>見出し<TAB>期限の日<TAB>\n"
    "                          いま思い出せる見込み」の形で示します（フォルダのみ）\n"
    "  --day-start 時刻        --due で、学習者の一日の始まり（ないときは 4:00）\n"
    "  -h, --help              この説明を表示します\n"
    "  -v, --version           版を表示します\n";

// A main window at its design size, measuring with the fonts the program
// draws in, to lay problems out as the program does.
class Board
{
public:
    explicit Board(const QString& workDir) : session_(workDir, measure_) {}

    SeriesState& state() { return session_.state(); }
    // Shows one problem as problem 1 and returns what would look poor.
    Findings check(const Problem& problem, int line)
    {
        SeriesState& st = session_.state();
        st.problems[1] = problem;
        st.currentProblem = 1;
        st.problemCount = 1;
        session_.screen().showProblem(1);
        Findings out;
        for (const BoardFindings::Note& note : BoardFindings::layout(session_.screen(), problem)) {
            out.append({line, Finding::Kind::Warning, note.message});
        }
        return out;
    }

private:
    QtTextMeasure measure_;
    Session session_;
};

bool isMarksFile(const QString& path)
{
    return QFileInfo(path).fileName().compare(QLatin1String(MarksFile::FileName),
                                              Qt::CaseInsensitive) == 0;
}

// One series file. Returns the number of errors.
// The program reads a UTF-8 file too, but the series format is code page
// 932: worth a word, not an error.
Findings encodingFindings(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) ||
        TextEncoding::detect(file.readAll()).encoding != TextEncoding::Encoding::Utf8) {
        return {};
    }
    return {{1, Finding::Kind::Warning,
             QStringLiteral("UTF-8 で保存されたファイルです。このプログラムは読めますが、"
                            "問題集の形式はシフトJIS（コードページ932）です")}};
}

// A problem the program shows but cannot keep in the marks file, which is
// code page 932.
Findings unmarkable(const Problem& problem, int line)
{
    Findings out;
    for (const BoardFindings::Note& note : BoardFindings::unencodable(problem)) {
        out.append({line, Finding::Kind::Warning, note.message});
    }
    return out;
}

int checkSeries(const QString& path, const QString& display)
{
    Report report(display);
    const SeriesLoader::Series series = SeriesLoader::load(path);
    Findings findings = encodingFindings(path) + series.findings();
    if (series.loads()) {
        Board board(QFileInfo(path).absolutePath());
        for (int r = 0; r < series.loadedCount(); ++r) {
            const Problem& p = series.usable.at(r);
            findings += board.check(p, p.lines.heading) + unmarkable(p, p.lines.heading);
        }
    }
    report.addAll(findings);
    report.summary(
        QStringLiteral("使える問題 %1問、除いた問題 %2問")
            .arg(QString::number(series.loadedCount()), QString::number(series.leftOut.size())));
    return report.errors();
}

// The marks file, read by the program's own reader, never written.
int checkMarks(const QString& path, const QString& display)
{
    Report report(display);
    const QFileInfo info(path);
    if (!info.exists()) {
        report.add({0, Finding::Kind::Error, QStringLiteral("ファイルが見つかりません")});
        report.summary(QStringLiteral("マークの付いた問題 0問"));
        return report.errors();
    }
    Board board(info.absolutePath());
    board.state().catalog[0][1] = info.fileName();
    // Read by the program's own marks store, which only reads here.
    QList<MarksFinding> found;
    MarksStore store(info.absolutePath());
    const int last = store.read(board.state(), info.fileName(), &found);
    Findings findings;
    for (const MarksFinding& f : found) {
        QString oneLine = f.message;
        oneLine.replace(QLatin1Char('\n'), QString());
        findings.append(
            {f.line, f.warning ? Finding::Kind::Warning : Finding::Kind::Error, oneLine});
    }
    // Row 0 is the placeholder record; rows 1..last are the marked problems.
    // Checking shows each as problem 1: the problems read are kept aside.
    const std::array<Problem, SeriesState::SeriesRows> problems = board.state().problems;
    for (int r = 1; r <= last; ++r) {
        findings += board.check(problems.at(r), problems.at(r).lines.heading);
    }
    report.addAll(findings);
    report.summary(QStringLiteral("マークの付いた問題 %1問").arg(std::max(last, 0)));
    return report.errors();
}

// A file that was checked, with its title in the catalogue (empty when it
// was named on the command line): what --preview draws.
struct Checked {
    QString path;
    QString title;
    bool keep = false; // --watch: unchanged since its pictures were drawn
};

// The folder's setting of the learners' home page, when it has one that
// cannot be used.
int checkHomePage(const QString& dir, const std::function<QString(const QString&)>& shownAs)
{
    const HomePage::Setting homePage = HomePage::read(dir);
    if (homePage.problem.isEmpty()) {
        return 0;
    }
    Report setting(shownAs(QDir(dir).filePath(HomePage::FileName)));
    setting.add({1, Finding::Kind::Error, homePage.problem});
    return setting.errors();
}

// A folder as the program sees it: its catalogue, every series it lists and
// the marks file.
int checkFolder(const QString& dir, QList<Checked>* checked)
{
    int errors = 0;
    // Every name is looked up as the program looks it up: any letter case,
    // '\\' or '/' between folders.
    const auto found = [&dir](const QString& name) { return FileLookup::resolve(dir, name); };
    const auto shownAs = [&dir](const QString& path) {
        // Absolute first: a relative path would be taken as it stands and
        // joined to the folder a second time.
        const QString relative = QDir(dir).relativeFilePath(QFileInfo(path).absoluteFilePath());
        return dir == QLatin1String(".") ? relative : QDir(dir).filePath(relative);
    };
    const QString catalogPath = found(QString::fromLatin1(Catalog::FileName));
    const Catalog::Result catalog = Catalog::read(catalogPath);
    Report report(shownAs(catalogPath));
    Findings findings = encodingFindings(catalogPath) + catalog.findings;

    // Each listed file once, in list order; a missing one is told at its
    // catalogue line, where the teacher has to mend it.
    QList<Checked> toCheck;
    QSet<QString> seen;
    const qsizetype listed =
        std::min<qsizetype>(catalog.entries.size(), SeriesState::MaxCatalogEntries);
    for (qsizetype i = 0; i < listed; ++i) {
        const Catalog::Entry& entry = catalog.entries.at(i);
        if (entry.fileName.trimmed().isEmpty()) {
            continue;
        }
        const QString path = QFileInfo(found(entry.fileName)).absoluteFilePath();
        if (seen.contains(path)) {
            continue;
        }
        seen.insert(path);
        if (!QFileInfo::exists(path)) {
            findings.append({entry.line, Finding::Kind::Error,
                             QStringLiteral("問題集「%1」のファイル「%2」が見つかりません")
                                 .arg(entry.title, entry.fileName)});
            continue;
        }
        toCheck.append({path, entry.title});
    }
    report.addAll(findings);
    report.summary(QStringLiteral("問題集 %1件").arg(listed));
    errors += report.errors();

    for (const Checked& entry : toCheck) {
        checked->append(entry);
        errors += isMarksFile(entry.path) ? checkMarks(entry.path, shownAs(entry.path))
                                          : checkSeries(entry.path, shownAs(entry.path));
    }
    const QString marks = QFileInfo(found(QLatin1String(MarksFile::FileName))).absoluteFilePath();
    if (QFileInfo::exists(marks) && !seen.contains(marks)) {
        checked->append({marks, QStringLiteral("マークの付いた問題")});
        errors += checkMarks(marks, shownAs(marks));
    }
    errors += checkHomePage(dir, shownAs);
    errors += CheckRecords::check(dir, shownAs);
    CheckRecords::warnEndedHistories(dir, shownAs);
    return errors;
}

struct Options {
    QString previewDir; // empty: no pictures
    QStringList paths;
    bool due = false;   // the review schedule instead of the findings
    bool watch = false; // checked again at each save, until Ctrl+C
    QString learner;    // with due: only this learner's
    QString dayStart;   // with due: when the learners' days start, as written
    int dayStartMinutes = LearnerDays::DefaultStartMinutes;
    QString database; // with due: a server's PostgreSQL store too
};

// The value of an option given as "--name VALUE" or "--name=VALUE"; false
// (after saying why) when it is missing.
bool optionValue(const QStringList& args, qsizetype* i, const QString& name, QString* value)
{
    const QString& a = args.at(*i);
    if (a.startsWith(name + QLatin1Char('='))) {
        *value = a.mid(name.size() + 1);
        return true;
    }
    if (*i + 1 >= args.size()) {
        printError(QStringLiteral("%1 のあとに値を指定してください").arg(name));
        return false;
    }
    *value = args.at(++*i);
    return true;
}

// Returns false (after saying why) when the command line cannot be used.
bool optionsFit(Options* options);

bool parseOptions(const QStringList& args, Options* options, bool* help, bool* version)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            *help = true;
            return true;
        }
        if (a == QLatin1String("-v") || a == QLatin1String("--version")) {
            *version = true;
            return true;
        }
        const QString name = a.section(QLatin1Char('='), 0, 0);
        if (name == QLatin1String("--preview") || name == QLatin1String("--learner") ||
            name == QLatin1String("--day-start") || name == QLatin1String("--database")) {
            QString* value = name == QLatin1String("--preview")     ? &options->previewDir
                             : name == QLatin1String("--learner")   ? &options->learner
                             : name == QLatin1String("--day-start") ? &options->dayStart
                                                                    : &options->database;
            if (!optionValue(args, &i, name, value)) {
                return false;
            }
        } else if (a == QLatin1String("--due")) {
            options->due = true;
        } else if (a == QLatin1String("--watch")) {
            options->watch = true;
        } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            printError(QStringLiteral("知らないオプションです: %1").arg(a));
            return false;
        } else {
            options->paths.append(a);
        }
    }
    return optionsFit(options);
}

// Whether the options read make sense together; says why not.
bool optionsFit(Options* options)
{
    for (const QString& p : options->paths) {
        if (!QFileInfo::exists(p)) {
            printError(QStringLiteral("「%1」が見つかりません").arg(p));
            return false;
        }
    }
    if (options->watch && options->due) {
        printError(QStringLiteral("--watch は --due と一緒には使えません"));
        return false;
    }
    if ((!options->learner.isEmpty() || !options->database.isEmpty()) && !options->due) {
        printError(QStringLiteral("--learner と --database は --due と一緒に使います"));
        return false;
    }
    if (!options->dayStart.isEmpty()) {
        QString why;
        const std::optional<int> minutes = LearnerDays::readStart(options->dayStart, &why);
        if (!minutes || !options->due) {
            printError(minutes ? QStringLiteral("--day-start は --due と一緒に使います") : why);
            return false;
        }
        options->dayStartMinutes = *minutes;
    }
    if (options->due &&
        (options->paths.size() > 1 ||
         (options->paths.size() == 1 && !QFileInfo(options->paths.first()).isDir()))) {
        printError(QStringLiteral("--due にはフォルダを1つだけ指定してください"));
        return false;
    }
    if (options->paths.size() > 1) {
        for (const QString& p : options->paths) {
            if (QFileInfo(p).isDir()) {
                printError(
                    QStringLiteral("フォルダは1つだけ、ファイルと混ぜずに指定してください: %1")
                        .arg(p));
                return false;
            }
        }
    }
    return true;
}

// --preview OUTDIR: pictures of every usable problem of the files checked,
// drawn by the window's own widgets, and the page that shows them. The
// program beside the check draws them, so that the check needs no widgets;
// the files and their titles go to it on its standard input, and it tells
// what went wrong on its standard output (Qt's own warnings pass through).
bool writePreviews(const QString& outDir, const QList<Checked>& checked, QString* error)
{
    QJsonArray series;
    for (const Checked& c : checked) {
        series.append(QJsonObject{{QStringLiteral("path"), c.path},
                                  {QStringLiteral("title"), c.title},
                                  {QStringLiteral("keep"), c.keep}});
    }
    const QString program =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("velmorant"));
    QProcess draw;
    draw.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    draw.start(program, {QStringLiteral("--draw-previews"), outDir});
    if (!draw.waitForStarted(-1)) {
        *error = QStringLiteral("盤面の絵を描くプログラム「%1」を起動できません: %2")
                     .arg(QDir::toNativeSeparators(program), draw.errorString());
        return false;
    }
    draw.write(QJsonDocument(series).toJson(QJsonDocument::Compact));
    draw.closeWriteChannel();
    draw.waitForFinished(-1);
    if (draw.exitStatus() != QProcess::NormalExit || draw.exitCode() != 0) {
        const QString told = QString::fromUtf8(draw.readAllStandardOutput()).trimmed();
        *error = told.isEmpty()
                     ? QStringLiteral("盤面の絵を描くプログラム「%1」が途中で終わりました")
                           .arg(QDir::toNativeSeparators(program))
                     : told;
        return false;
    }
    std::fputs(qPrintable(QStringLiteral("盤面の絵: %1\n")
                              .arg(QDir(outDir).filePath(QStringLiteral("index.html")))),
               stdout);
    return true;
}

// The folder or the files named: their errors, -1 (after saying why) when
// the folder cannot be read.
int checkPaths(const Options& options, QList<Checked>* checked)
{
    int errors = 0;
    const bool folder = options.paths.isEmpty() || QFileInfo(options.paths.first()).isDir();
    if (folder) {
        const QString dir = options.paths.isEmpty() ? QStringLiteral(".") : options.paths.first();
        const QFileInfo info(dir);
        if (!info.isDir() || !info.isReadable() || !QDir(dir).isReadable()) {
            printError(QStringLiteral("フォルダ「%1」を読めません").arg(dir));
            return -1;
        }
        errors = checkFolder(dir, checked);
    } else {
        for (const QString& path : options.paths) {
            checked->append({path, QString()});
            errors += isMarksFile(path) ? checkMarks(path, path) : checkSeries(path, path);
        }
    }
    return errors;
}

// --due: the schedule of the folder's learners, or of the one named.
int printDue(const Options& options)
{
    const QString dir = options.paths.isEmpty() ? QStringLiteral(".") : options.paths.first();
    QString database = options.database;
    if (const QString why = ClassAnswers::folderDatabase(dir, &database); !why.isEmpty()) {
        printError(why);
        return BadUsage;
    }
    if (const QString failed = CheckRecords::printDue(dir, database, options.learner,
                                                      QDateTime::currentMSecsSinceEpoch(),
                                                      LearnerDays(options.dayStartMinutes));
        !failed.isEmpty()) {
        printError(failed);
        return BadUsage;
    }
    return Clean;
}

// --watch: the check and the pictures again at each save of a file the
// check read (the folder's catalogue too), until Ctrl+C.
int watchFiles(const Options& options, QList<Checked> checked)
{
    const bool folder = options.paths.isEmpty() || QFileInfo(options.paths.first()).isDir();
    const QString dir = options.paths.isEmpty() ? QStringLiteral(".") : options.paths.first();
    std::fflush(stdout);
    const auto files = [&] {
        QStringList out;
        if (folder) {
            out.append(FileLookup::resolve(dir, QString::fromLatin1(Catalog::FileName)));
        }
        for (const Checked& c : checked) {
            out.append(c.path);
        }
        return out;
    };
    // Each file's time and size when its pictures were drawn: only the
    // files saved since are drawn again.
    QHash<QString, QPair<qint64, qint64>> drawn;
    const auto stamp = [](const QString& path) {
        const QFileInfo info(path);
        return qMakePair(info.lastModified().toMSecsSinceEpoch(), info.size());
    };
    for (const Checked& c : checked) {
        drawn.insert(c.path, stamp(c.path));
    }
    const auto again = [&] {
        std::fputs(qPrintable(QStringLiteral("\n%1 保存されたので確かめ直します\n")
                                  .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")))),
                   stdout);
        checked.clear();
        checkPaths(options, &checked);
        for (Checked& c : checked) {
            c.keep = drawn.value(c.path) == stamp(c.path);
            drawn.insert(c.path, stamp(c.path));
        }
        QString error;
        if (!options.previewDir.isEmpty() && !writePreviews(options.previewDir, checked, &error)) {
            printError(error);
        }
        std::fflush(stdout);
    };
    return CheckWatch::run(files, again);
}

} // namespace

int main(int argc, char* argv[])
{
    // Nothing is ever shown on a screen: the fonts are measured offscreen,
    // so the check runs without a display.
    Offscreen::usePlatform();
    int qtArgc = argc > 0 ? 1 : 0;
    QGuiApplication app(qtArgc, argv);
    QtFonts::installSubstitutions();

    QStringList args;
    for (int i = 1; i < argc; ++i) {
        args.append(QString::fromLocal8Bit(argv[i]));
    }
    Options options;
    bool help = false;
    bool version = false;
    if (const std::optional<int> exit = CheckFit::run(args)) {
        return *exit;
    }
    if (const std::optional<int> exit = CheckClassReport::run(args)) {
        return *exit;
    }
    if (!parseOptions(args, &options, &help, &version)) {
        printError(QStringLiteral("使い方は velmorant-check --help で表示します"));
        return BadUsage;
    }
    if (help) {
        std::fputs(Usage, stdout);
        std::fputs(CheckClassReport::Usage, stdout);
        std::fputs(CheckFit::Usage, stdout);
        return Clean;
    }
    if (version) {
        std::fputs("velmorant-check " VELMORANT_VERSION "\n", stdout);
        return Clean;
    }

    if (options.due) {
        return printDue(options);
    }
    QList<Checked> checked;
    const int errors = checkPaths(options, &checked);
    if (errors < 0) {
        return BadUsage;
    }

    if (!options.previewDir.isEmpty()) {
        QString error;
        if (!writePreviews(options.previewDir, checked, &error)) {
            printError(error);
            return BadUsage;
        }
    }
    if (options.watch) {
        return watchFiles(options, checked);
    }
    return errors > 0 ? HasErrors : Clean;
}
