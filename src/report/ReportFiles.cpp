#include "report/ReportFiles.h"

#include "files/SafeWrite.h"
#include "report/LocalTime.h"

#include <QDir>
#include <QStringList>

namespace ReportFiles
{

namespace
{

const QLatin1StringView Bom("\xEF\xBB\xBF");

QByteArray csv(const QList<QStringList>& rows)
{
    QString out;
    for (const QStringList& row : rows) {
        QStringList fields;
        fields.reserve(row.size());
        for (const QString& field : row) {
            fields.append(csvField(field));
        }
        out += fields.join(QLatin1Char(',')) + QLatin1String("\r\n");
    }
    return QByteArray(Bom.data(), Bom.size()) + out.toUtf8();
}

QString oneOrZero(bool yes)
{
    return yes ? QStringLiteral("1") : QStringLiteral("0");
}

QString seconds(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'f', 1);
}

const QString ChangedNote =
    QStringLiteral("問題集ファイルのこの問題は変わったか、なくなっています");

} // namespace

QString csvField(const QString& text)
{
    QString field = text;
    if (!field.isEmpty() && QStringLiteral("=+-@").contains(field.front())) {
        field.prepend(QLatin1Char('\''));
    }
    if (field.contains(QLatin1Char(',')) || field.contains(QLatin1Char('"')) ||
        field.contains(QLatin1Char('\r')) || field.contains(QLatin1Char('\n'))) {
        field.replace(QLatin1String("\""), QLatin1String("\"\""));
        return QLatin1Char('"') + field + QLatin1Char('"');
    }
    return field;
}

QByteArray resultsCsv(const ClassReport::Report& report)
{
    QList<QStringList> rows{
        {QStringLiteral("学習者"), QStringLiteral("問題集"), QStringLiteral("問題集ファイル"),
         QStringLiteral("見出し"), QStringLiteral("初回正解"), QStringLiteral("出題回数"),
         QStringLiteral("答え合わせ回数"), QStringLiteral("最後の正解"),
         QStringLiteral("最後の回答日時"), QStringLiteral("所要時間(秒)"), QStringLiteral("注記")}};
    rows.reserve(report.rows.size() + 1);
    for (const ClassReport::LearnerProblem& r : report.rows) {
        rows.append({r.learner, report.title(r.series), r.series, r.heading,
                     oneOrZero(r.firstRight), QString::number(r.showings),
                     QString::number(r.checks), oneOrZero(r.lastRight),
                     LocalTime::dateTime(r.lastAnsweredMs), seconds(r.timeSpentMs),
                     r.text == ClassReport::ProblemText::Changed ? ChangedNote : QString()});
    }
    return csv(rows);
}

QByteArray confusionsCsv(const ClassReport::Report& report)
{
    QList<QStringList> rows{{QStringLiteral("問題集"), QStringLiteral("問題集ファイル"),
                             QStringLiteral("見出し"), QStringLiteral("項目"),
                             QStringLiteral("置いた分類群"), QStringLiteral("正しい分類群"),
                             QStringLiteral("学習者数"), QStringLiteral("回数")}};
    for (const ClassReport::Confusion& c : report.confusions) {
        rows.append({report.title(c.series), c.series, c.heading, c.term, c.placedIn, c.belongsIn,
                     QString::number(c.learners), QString::number(c.times)});
    }
    return csv(rows);
}

QByteArray termsCsv(const ClassReport::Report& report)
{
    QList<QStringList> rows{{QStringLiteral("問題集"), QStringLiteral("問題集ファイル"),
                             QStringLiteral("見出し"), QStringLiteral("項目"),
                             QStringLiteral("正しい分類群"), QStringLiteral("初回の答え合わせ回数"),
                             QStringLiteral("正しく置いた回数"), QStringLiteral("正解率(%)")}};
    rows.reserve(report.terms.size() + 1);
    for (const TermRate& t : report.terms) {
        rows.append({report.title(t.series), t.series, t.heading, t.term, t.group,
                     QString::number(t.firstChecks), QString::number(t.right),
                     QString::number(t.rightPercent())});
    }
    return csv(rows);
}

QByteArray comparisonCsv(const ClassReport::Report& report)
{
    QStringList head{QStringLiteral("問題集"), QStringLiteral("問題集ファイル"),
                     QStringLiteral("見出し")};
    for (const QString& c : report.classes) {
        head << QStringLiteral("%1 初回正解率(%)").arg(c) << QStringLiteral("%1 人数").arg(c);
    }
    QList<QStringList> rows{head};
    for (const ClassReport::Compared& p : ClassReport::comparison(report)) {
        QStringList row{report.title(p.series), p.series, p.heading};
        for (const ClassReport::ClassShare& share : p.shares) {
            row << (share.learners > 0
                        ? QString::number(qRound(100.0 * share.firstRight / share.learners))
                        : QString())
                << QString::number(share.learners);
        }
        rows.append(row);
    }
    return csv(rows);
}

QByteArray gradebookCsv(const ClassReport::Report& report)
{
    QStringList head{QStringLiteral("組"), QStringLiteral("番号"), QStringLiteral("氏名")};
    for (const QString& s : report.series) {
        const QString title = report.title(s);
        head << QStringLiteral("%1 正解した問題数").arg(title)
             << QStringLiteral("%1 初回正解率(%)").arg(title)
             << QStringLiteral("%1 最終学習日").arg(title);
    }
    QList<QStringList> rows{head};
    const QList<QList<ClassReport::SeriesMark>> marks = ClassReport::seriesMarks(report);
    LocalTime::Days days;
    for (qsizetype l = 0; l < report.learners.size(); ++l) {
        const QString& learner = report.learners.at(l);
        const ClassReport::Person person =
            report.people.value(learner, ClassReport::Person{QString(), 0, learner});
        QStringList row{person.className,
                        person.number > 0 ? QString::number(person.number) : QString(),
                        person.name};
        for (const ClassReport::SeriesMark& m : marks.at(l)) {
            row << QString::number(m.solved)
                << (m.answered > 0 ? QString::number(qRound(100.0 * m.firstRight / m.answered))
                                   : QString())
                << (m.answered > 0 ? days.of(m.lastMs).toString(Qt::ISODate) : QString());
        }
        rows.append(row);
    }
    return csv(rows);
}

const QStringList& spreadsheetNames()
{
    static const QStringList names{QStringLiteral("results.csv"), QStringLiteral("confusions.csv"),
                                   QStringLiteral("terms.csv"), QStringLiteral("comparison.csv"),
                                   QStringLiteral("gradebook.csv")};
    return names;
}

QString fileName(const QString& name)
{
    return name == QLatin1String("gradebook.csv") ? QStringLiteral("成績一覧.csv") : name;
}

QByteArray spreadsheet(const QString& name, const ClassReport::Report& report)
{
    using Writer = QByteArray (*)(const ClassReport::Report&);
    static const Writer writers[] = {resultsCsv, confusionsCsv, termsCsv, comparisonCsv,
                                     gradebookCsv};
    const qsizetype i = spreadsheetNames().indexOf(name);
    return i >= 0 ? writers[i](report) : QByteArray();
}

QString write(const QString& outDir, const ClassReport::Report& report, const QString& title)
{
    if (!QDir().mkpath(outDir)) {
        return QStringLiteral("出力フォルダ「%1」を作れません").arg(outDir);
    }
    const QDir dir(outDir);
    QList<std::pair<QString, QByteArray>> files;
    for (const QString& name : spreadsheetNames()) {
        files.append({fileName(name), spreadsheet(name, report)});
    }
    files.append({QStringLiteral("index.html"), indexHtml(report, title)});
    for (const auto& [name, bytes] : files) {
        const QString failure = WriteFileAtomically(dir.filePath(name), bytes);
        if (!failure.isEmpty()) {
            return QStringLiteral("「%1」を書けません: %2").arg(dir.filePath(name), failure);
        }
    }
    return {};
}

} // namespace ReportFiles
