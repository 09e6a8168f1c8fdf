#include "app/CommandLine.h"

#include <QCommandLineParser>

namespace CommandLine
{

namespace
{

// The options Qt reads itself (QGuiApplication, QApplication and the X11
// platform), so that they are not taken for mistakes.
const char* const QtOptionsWithValue[] = {
    "platform",
    "platformpluginpath",
    "platformtheme",
    "plugin",
    "qwindowgeometry",
    "geometry",
    "qwindowtitle",
    "title",
    "qwindowicon",
    "icon",
    "session",
    "style",
    "stylesheet",
    "display",
    "name",
    "visual",
};
const char* const QtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync", "testability"};

void addQtOptions(QCommandLineParser& parser)
{
    for (const char* name : QtOptionsWithValue) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* name : QtFlags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

// The word of the command line that holds the option called `name`.
QString asWritten(const QStringList& arguments, const QString& name)
{
    for (const QString& word : arguments.mid(1)) {
        const QString bare = word.startsWith(QLatin1String("--")) ? word.mid(2) : word.mid(1);
        if (word.startsWith(u'-') && bare.section(u'=', 0, 0) == name) {
            return word.section(u'=', 0, 0);
        }
    }
    return name;
}

void readDayStart(const QString& text, Request* request)
{
    if (text.isEmpty()) {
        return;
    }
    if (const std::optional<int> minutes = LearnerDays::readStart(text, &request->error)) {
        request->dayStart = *minutes;
    } else {
        request->action = Request::Action::BadUsage;
    }
}

} // namespace

Request read(const QStringList& arguments)
{
    QCommandLineParser parser;
    // Qt's options are written with one dash: -platform, -style.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    const QCommandLineOption learner(QStringLiteral("learner"), QString(), QStringLiteral("name"));
    parser.addOption(help);
    parser.addOption(version);
    const QCommandLineOption dayStart(QStringLiteral("day-start"), QString(),
                                      QStringLiteral("time"));
    parser.addOption(learner);
    QCommandLineOption previews(QStringLiteral("draw-previews"), QString(),
                                QStringLiteral("folder"));
    previews.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(previews);
    parser.addOption(dayStart);
    addQtOptions(parser);

    Request request;
    if (!parser.parse(arguments)) {
        request.action = Request::Action::BadUsage;
        const QStringList unknown = parser.unknownOptionNames();
        // Without an unknown option, the last word is an option whose value
        // is missing.
        request.error =
            unknown.isEmpty()
                ? QStringLiteral("オプション %1 のあとに値がありません。").arg(arguments.back())
                : QStringLiteral("知らないオプションです: %1")
                      .arg(asWritten(arguments, unknown.front()));
        return request;
    }
    if (parser.isSet(help)) {
        request.action = Request::Action::Help;
    } else if (parser.isSet(version)) {
        request.action = Request::Action::Version;
    } else if (parser.isSet(previews)) {
        request.action = Request::Action::DrawPreviews;
        request.previewDir = parser.value(previews);
    } else if (parser.positionalArguments().size() > 1) {
        request.action = Request::Action::BadUsage;
        request.error = QStringLiteral("フォルダは一つだけ指定して下さい。");
    } else if (parser.isSet(learner) && parser.value(learner).trimmed().isEmpty()) {
        request.action = Request::Action::BadUsage;
        request.error = QStringLiteral("--learner のあとに学習者の名前を書いて下さい。");
    } else {
        request.folders = parser.positionalArguments();
        request.platformGiven = parser.isSet(QStringLiteral("platform"));
        request.learner = parser.value(learner).trimmed();
        readDayStart(parser.value(dayStart), &request);
    }
    return request;
}

QString helpText()
{
    return QStringLiteral(
        "使い方: velmorant [オプション] [フォルダ]\n"
        "\n"
        "用語を群に分ける問題集です。ファイル（一覧 ZQCList.TXT、問題集ファイル、\n"
        "マークの Marked.txt、音のファイル）は一つのフォルダで読み書きします:\n"
        "  1. フォルダを指定したときは、そのフォルダ\n"
        "  2. 今のフォルダに ZQCList.TXT があれば、今のフォルダ\n"
        "  3. ほかは自分用のフォルダ $XDG_DATA_HOME/velmorant\n"
        "     （XDG_DATA_HOME がなければ ~/.local/share/velmorant）\n"
        "ZQCList.TXT のないフォルダには見本のファイルを入れます。\n"
        "\n"
        "回答は学習者ごとに records/（学習者の名前）.jsonl に記録します。\n"
        "\n"
        "  --learner 名前  回答を記録する学習者（ないときはログイン名）\n"
        "  --day-start 時刻  一日の始まり（復習の日の区切り、ないときは 4:00）\n"
        "  -h, --help     この説明を表示して終わります\n"
        "  -v, --version  版を表示して終わります\n"
        "Qt のオプション（-platform、-style など）も使えます。\n"
        "\n"
        "終了コード: 0 正常に終了、1 作業用のフォルダを使えない、2 使い方の誤りか画面がない\n");
}

QString versionText()
{
    return QStringLiteral("velmorant " VELMORANT_VERSION "\n");
}

} // namespace CommandLine
