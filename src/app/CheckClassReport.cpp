#include "app/CheckClassReport.h"

#include "app/CheckReport.h"
#include "app/ClassAnswers.h"
#include "lrs/LrsSender.h"
#include "report/ClassFolder.h"
#include "report/ReportFiles.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace CheckClassReport
{

const char* const Usage =
    "\n"
    "        velmorant-check --report 出力フォルダ [--database URL] [フォルダ]\n"
    "        velmorant-check --send-to-lrs URL --lrs-auth ファイル [フォルダ]\n"
    "  --report 出力フォルダ   records/ の学習の記録と、サーバーのフォルダならその記録\n"
    "                          velmorant.sqlite から、学習者と問題ごとの結果 results.csv、\n"
    "                          取り違えの数 confusions.csv、項目ごとの初回正解率 terms.csv、\n"
    "                          一覧の index.html を作ります。CSV は BOM 付き UTF-8・CR LF で、\n"
    "                          「初回正解」「最後の正解」は正解 1、誤り 0 です\n"
    "  --database URL          velmorant-server と同じ postgresql://... のデータベースの記録も\n"
    "                          読みます（--report、--due と）。フォルダの velmorant.conf に\n"
    "                          database があればそれを読み、違う URL は受け付けません\n"
    "  --send-to-lrs URL       records/ の記録を xAPI 1.0.3 の文として、URL/statements へ\n"
    "                          送ります。送れた文は records/.lrs-sent.json に覚え、送れなかった\n"
    "                          文は次に送ります\n"
    "  --lrs-auth ファイル     「ユーザー名:パスワード」を1行書いた、自分だけが読めるファイル\n";

namespace
{

enum Exit { Clean = 0, Failed = 1, BadUsage = 2 };

using CheckReport::printError;

struct Options {
    QString reportDir;
    QString lrsUrl;
    QString lrsAuth;
    QString database;
    QStringList folders;
};

// Returns false (after saying why) when the command line cannot be used.
bool parse(const QStringList& args, Options* o)
{
    const CheckReport::ValuedOptions valued{{QStringLiteral("--report"), &o->reportDir},
                                            {QStringLiteral("--send-to-lrs"), &o->lrsUrl},
                                            {QStringLiteral("--lrs-auth"), &o->lrsAuth},
                                            {QStringLiteral("--database"), &o->database}};
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (const std::optional<bool> taken = CheckReport::takeValued(args, i, valued)) {
            if (!*taken) {
                return false;
            }
        } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            printError(QStringLiteral("%1 は --report、--send-to-lrs と一緒には使えません").arg(a));
            return false;
        } else {
            o->folders.append(a);
        }
    }
    if (o->lrsUrl.isEmpty() != o->lrsAuth.isEmpty()) {
        printError(QStringLiteral("--send-to-lrs と --lrs-auth は一緒に指定してください"));
        return false;
    }
    if (!o->database.isEmpty() && o->reportDir.isEmpty()) {
        printError(QStringLiteral("--database は --report か --due と一緒に使います"));
        return false;
    }
    if (o->folders.size() > 1) {
        printError(QStringLiteral("フォルダは1つだけ指定してください"));
        return false;
    }
    return true;
}

int writeReport(const QString& folder, const QString& database, const QString& outDir)
{
    ClassFolder::Read answers;
    std::optional<StoreReport::School> school;
    if (const QString failed = ClassAnswers::read(folder, database, &answers, &school);
        !failed.isEmpty()) {
        printError(failed);
        return Failed;
    }
    ClassReport::Report report =
        ClassFolder::report(std::move(answers.answers), std::move(answers.leftOut), folder);
    // A server's folder: its learners as the teacher's page lists them.
    if (school) {
        ClassReport::placeLearners(&report, school->order, std::move(school->people),
                                   std::move(school->classes));
    }
    for (const ClassReport::LeftOut& l : report.leftOut) {
        const QString where =
            l.line > 0 ? QStringLiteral("%1:%2").arg(l.file, QString::number(l.line)) : l.file;
        printError(QStringLiteral("%1: 数えませんでした: %2")
                       .arg(where, QString(l.reason).replace(QLatin1Char('\n'), QLatin1Char(' '))));
    }
    const QString title =
        QStringLiteral("学習の記録のまとめ: %1").arg(QFileInfo(folder).absoluteFilePath());
    if (const QString failure = ReportFiles::write(outDir, report, title); !failure.isEmpty()) {
        printError(failure);
        return Failed;
    }
    std::fputs(
        qUtf8Printable(
            QStringLiteral("まとめ: %1（学習者 %2人、答え合わせ %3回、数えなかった記録 %4件）\n")
                .arg(QDir(outDir).filePath(QStringLiteral("index.html")),
                     QString::number(report.learners.size()), QString::number(report.statements),
                     QString::number(report.leftOut.size()))),
        stdout);
    return Clean;
}

int sendToLrs(const QString& folder, const QString& url, const QString& authFile)
{
    LrsSender::Settings settings;
    settings.endpoint = QUrl(url);
    if (!settings.endpoint.isValid() ||
        !settings.endpoint.scheme().startsWith(QLatin1String("http"))) {
        printError(
            QStringLiteral("「%1」は http:// か https:// で始まる URL ではありません").arg(url));
        return BadUsage;
    }
    if (const QString failure = LrsSender::readAuthFile(authFile, &settings.authorization);
        !failure.isEmpty()) {
        printError(failure);
        return BadUsage;
    }
    LrsOutbox outbox(folder, settings.endpoint.toString());
    if (const QString warning = outbox.load(); !warning.isEmpty()) {
        printError(warning);
    }
    LrsSender sender(settings);
    const LrsSender::Summary summary = sender.sendFolder(outbox);
    for (const QString& problem : summary.problems) {
        printError(problem);
    }
    std::fputs(qUtf8Printable(
                   QStringLiteral("記録の保管庫へ: 送った文 %1件、送れなかった文 %2件%3\n")
                       .arg(QString::number(summary.sent), QString::number(summary.unsent),
                            summary.unsent > 0 ? QStringLiteral("（次に送ります）") : QString())),
               stdout);
    return summary.unsent > 0 ? Failed : Clean;
}

} // namespace

std::optional<int> run(const QStringList& args)
{
    const auto asks = [&args](const char* name) { return CheckReport::asks(args, name); };
    if (!asks("--report") && !asks("--send-to-lrs") && !asks("--lrs-auth")) {
        return std::nullopt;
    }
    Options o;
    if (!parse(args, &o)) {
        CheckReport::printUsageHint();
        return BadUsage;
    }
    const std::optional<QString> given = CheckReport::readableFolder(o.folders);
    if (!given) {
        return BadUsage;
    }
    const QString& folder = *given;
    if (const QString why = ClassAnswers::folderDatabase(folder, &o.database); !why.isEmpty()) {
        printError(why);
        return BadUsage;
    }
    int exit = Clean;
    if (!o.reportDir.isEmpty()) {
        exit = std::max(exit, writeReport(folder, o.database, o.reportDir));
    }
    if (!o.lrsUrl.isEmpty()) {
        exit = std::max(exit, sendToLrs(folder, o.lrsUrl, o.lrsAuth));
    }
    return exit;
}

} // namespace CheckClassReport
