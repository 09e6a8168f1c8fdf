// index.html of the report: inline CSS and SVG only, so that it opens from a
// USB stick, a mail or the server alike and prints on A4.
#include "report/LocalTime.h"
#include "report/ReportFiles.h"

#include <QDateTime>
#include <QHash>

#include <algorithm>

namespace ReportFiles
{

namespace
{

using namespace ClassReport;

// Problems per table: more would not fit the width of A4.
constexpr int ProblemsPerTable = 20;

QString esc(const QString& text)
{
    return text.toHtmlEscaped();
}

QString percent(int part, int whole)
{
    return whole > 0 ? QStringLiteral("%1%").arg(qRound(100.0 * part / whole))
                     : QStringLiteral("—");
}

const char* const Style = R"(
:root { color-scheme: light; }
body { font-family: system-ui, "Hiragino Sans", "Yu Gothic", "Meiryo", "Noto Sans CJK JP", "IPAPGothic",
  "VL PGothic", sans-serif; margin: 1.5em;
  color: #1a1a1a; background: #fff; font-size: 14px; }
h1 { font-size: 1.5em; margin: 0 0 .3em; }
h2 { font-size: 1.2em; border-bottom: 2px solid #345; margin: 1.6em 0 .5em; break-after: avoid; }
h3 { font-size: 1.05em; margin: .6em 0 .2em; break-after: avoid; }
section.series { display: inline-block; vertical-align: top; margin-right: 1.5em; break-inside: avoid; }
p.summary { margin: .2em 0 1em; }
table { border-collapse: collapse; margin: .4em 0 1em; }
th, td { border: 1px solid #999; padding: 2px 6px; }
th { background: #eef1f4; font-weight: normal; }
thead { display: table-header-group; }
tr { break-inside: avoid; }
table.grid td { text-align: center; min-width: 1.6em; }
table.grid thead th.problem { writing-mode: vertical-rl; text-align: left; max-height: 12em;
  white-space: nowrap; overflow: hidden; padding: 4px 2px; }
td.right { background: #c8ecc9; }
td.wrong { background: #f7c6c5; }
td.none { background: #f2f2f2; color: #888; }
td.num { text-align: right; }
.flag { color: #b00; }
.scale { display: inline-block; width: 60px; height: .8em; border: 1px solid #999; background: #f2f2f2;
  vertical-align: middle; }
.scale .bar { display: block; height: 100%; background: #3f8f46; }
.legend span { margin-right: 1.2em; }
svg { max-width: 100%; height: auto; }
svg text { font-size: 11px; fill: #333; }
@page { size: A4; margin: 12mm; }
@media print {
  body { margin: 0; font-size: 10pt; }
  * { -webkit-print-color-adjust: exact; print-color-adjust: exact; }
  section { break-inside: auto; }
}
)";

QString head(const Report& report, const QString& title)
{
    QString out =
        QStringLiteral("<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
                       "<title>%1</title>\n<style>%2</style>\n</head>\n<body>\n")
            .arg(esc(title), QString::fromUtf8(Style));
    out += QStringLiteral("<h1>%1</h1>\n").arg(esc(title));
    out += QStringLiteral("<p class=\"summary\">学習者 %1人、問題 %2問、答え合わせ %3回。"
                          "作成 %4。</p>\n")
               .arg(QString::number(report.learners.size()),
                    QString::number(report.problems.size()), QString::number(report.statements),
                    esc(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
    if (!report.leftOut.isEmpty()) {
        out += QStringLiteral("<p class=\"flag\">読めなかった記録が %1 件あります"
                              "（<a href=\"#left-out\">最後の節</a>）。</p>\n")
                   .arg(report.leftOut.size());
    }
    return out;
}

// A series by its title, its file name on hovering.
QString seriesCell(const Report& report, const QString& series)
{
    return QStringLiteral("<td title=\"%1\">%2</td>").arg(esc(series), esc(report.title(series)));
}

QString cell(const LearnerProblem* row)
{
    if (row == nullptr) {
        return QStringLiteral("<td class=\"none\">－</td>");
    }
    return row->firstRight ? QStringLiteral("<td class=\"right\">○</td>")
                           : QStringLiteral("<td class=\"wrong\">×</td>");
}

// One table of a series: learners down, up to ProblemsPerTable problems across.
QString grid(const Report& report, const QList<const ProblemSummary*>& problems,
             const QHash<QString, const LearnerProblem*>& rows)
{
    QString out = QStringLiteral("<table class=\"grid\">\n<thead><tr><th>学習者</th>");
    for (const ProblemSummary* p : problems) {
        const QString flag = p->text == ProblemText::Changed ? QStringLiteral("※") : QString();
        out += QStringLiteral("<th class=\"problem\" title=\"%1\">%2%1</th>")
                   .arg(esc(p->heading), flag);
    }
    out += QStringLiteral("<th>初回正解</th></tr></thead>\n<tbody>\n");
    for (const QString& learner : report.learners) {
        QString line;
        int answered = 0;
        int right = 0;
        for (const ProblemSummary* p : problems) {
            const LearnerProblem* row = rows.value(learner + QLatin1Char('\n') + p->problemHash);
            line += cell(row);
            answered += row != nullptr ? 1 : 0;
            right += row != nullptr && row->firstRight ? 1 : 0;
        }
        if (answered > 0) {
            out += QStringLiteral("<tr><th>%1</th>%2<td class=\"num\">%3/%4</td></tr>\n")
                       .arg(esc(learner), line, QString::number(right), QString::number(answered));
        }
    }
    out += QStringLiteral("</tbody>\n<tfoot><tr><th>正解率</th>");
    for (const ProblemSummary* p : problems) {
        out += QStringLiteral("<td class=\"num\">%1</td>").arg(percent(p->firstRight, p->learners));
    }
    return out + QStringLiteral("<td></td></tr></tfoot>\n</table>\n");
}

QString seriesTables(const Report& report)
{
    const bool changed =
        std::any_of(report.problems.begin(), report.problems.end(),
                    [](const ProblemSummary& p) { return p.text == ProblemText::Changed; });
    QString out =
        QStringLiteral(
            "<h2>問題集ごとの初回の答え</h2>\n<p class=\"legend\"><span>○ "
            "初めての答え合わせで正解</span>"
            "<span>× 初めての答え合わせで誤り</span><span>－ まだ解いていない</span>%1</p>\n")
            .arg(changed ? QStringLiteral("<span class=\"flag\">※ 問題集ファイルでは変わったか、"
                                          "なくなった問題</span>")
                         : QString());
    for (const QString& series : report.series) {
        QHash<QString, const LearnerProblem*> rows;
        for (const LearnerProblem& r : report.rows) {
            if (r.series == series) {
                rows.insert(r.learner + QLatin1Char('\n') + r.problemHash, &r);
            }
        }
        QList<const ProblemSummary*> problems;
        for (const ProblemSummary& p : report.problems) {
            if (p.series == series) {
                problems.append(&p);
            }
        }
        out += QStringLiteral("<section class=\"series\">\n<h3 title=\"%1\">%2（%3問）</h3>\n")
                   .arg(esc(series), esc(report.title(series)), QString::number(problems.size()));
        for (qsizetype i = 0; i < problems.size(); i += ProblemsPerTable) {
            out += grid(report, problems.mid(i, ProblemsPerTable), rows);
        }
        out += QStringLiteral("</section>\n");
    }
    return out;
}

QString hardestTable(const Report& report)
{
    QString out = QStringLiteral(
        "<h2>初回の正解率が低い問題</h2>\n<p class=\"legend\">棒は初回正解率: "
        "枠いっぱいが100%、長いほど正解が多い</p>\n<table>\n<thead><tr><th>問題集</th>"
        "<th>見出し</th><th>初回正解率</th><th>正解/解いた人</th></tr></thead>\n"
        "<tbody>\n");
    for (const ProblemSummary& p : hardest(report)) {
        // Longer is more right, in the green of a right first answer.
        const int width = qRound(100.0 * p.firstRightRate());
        out += QStringLiteral("<tr>%1<td>%2%3</td><td class=\"num\">%4 "
                              "<span class=\"scale\"><span class=\"bar\" "
                              "style=\"width:%5%\"></span></span></td>"
                              "<td class=\"num\">%6/%7</td></tr>\n")
                   .arg(seriesCell(report, p.series), esc(p.heading),
                        p.text == ProblemText::Changed
                            ? QStringLiteral(" <span class=\"flag\">※</span>")
                            : QString(),
                        percent(p.firstRight, p.learners), QString::number(width),
                        QString::number(p.firstRight), QString::number(p.learners));
    }
    return out + QStringLiteral("</tbody>\n</table>\n");
}

QString confusionTable(const Report& report)
{
    QString out =
        QStringLiteral("<h2>よくある取り違え</h2>\n<table>\n<thead><tr><th>問題集</th>"
                       "<th>見出し</th><th>項目</th><th>置いた分類群</th><th>正しい分類群</th>"
                       "<th>学習者数</th></tr></thead>\n<tbody>\n");
    for (const Confusion& c : commonest(report)) {
        out += QStringLiteral("<tr>%1<td>%2</td><td>%3</td><td>%4</td><td>%5</td>"
                              "<td class=\"num\">%6</td></tr>\n")
                   .arg(seriesCell(report, c.series), esc(c.heading), esc(c.term), esc(c.placedIn),
                        esc(c.belongsIn), QString::number(c.learners));
    }
    return out + QStringLiteral("</tbody>\n</table>\n");
}

// The terms least often put in their group at first checks; every term is
// in terms.csv.
QString termTable(const Report& report)
{
    constexpr qsizetype Shown = 20;
    QList<const TermRate*> terms;
    for (const TermRate& t : report.terms) {
        terms.append(&t);
    }
    std::stable_sort(terms.begin(), terms.end(), [](const TermRate* a, const TermRate* b) {
        // a->right / a->firstChecks < b->right / b->firstChecks, in integers.
        const qint64 left = qint64(a->right) * b->firstChecks;
        const qint64 right = qint64(b->right) * a->firstChecks;
        return left != right ? left < right : a->firstChecks > b->firstChecks;
    });
    QString out = QStringLiteral(
        "<h2>初回の正解率が低い項目</h2>\n<p>すべての項目の正解率は terms.csv にあります。</p>\n"
        "<table>\n<thead><tr><th>問題集</th><th>見出し</th><th>項目</th><th>正しい分類群</th>"
        "<th>初回正解率</th><th>正解/初回の答え合わせ</th></tr></thead>\n<tbody>\n");
    for (const TermRate* t : terms.mid(0, Shown)) {
        out += QStringLiteral("<tr>%1<td>%2</td><td>%3</td><td>%4</td>"
                              "<td class=\"num\">%5%</td><td class=\"num\">%6/%7</td></tr>\n")
                   .arg(seriesCell(report, t->series), esc(t->heading), esc(t->term), esc(t->group),
                        QString::number(t->rightPercent()), QString::number(t->right),
                        QString::number(t->firstChecks));
    }
    return out + QStringLiteral("</tbody>\n</table>\n");
}

QString dayChart(const Report& report)
{
    QString out = QStringLiteral("<h2>日ごとの答え合わせの数</h2>\n");
    if (report.days.isEmpty()) {
        return out + QStringLiteral("<p>まだ答え合わせがありません。</p>\n");
    }
    constexpr double Width = 680, Height = 140, Left = 40, Top = 10;
    int most = 1;
    const DayCount* busiest = &report.days.first();
    for (const DayCount& d : report.days) {
        most = std::max(most, d.checks);
        busiest = d.checks > busiest->checks ? &d : busiest;
    }
    const double step = Width / double(report.days.size());
    QString bars;
    for (qsizetype i = 0; i < report.days.size(); ++i) {
        const DayCount& d = report.days.at(i);
        const double h = Height * d.checks / most;
        bars +=
            QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"#3b6ea8\">"
                           "<title>%5: %6回</title></rect>")
                .arg(QString::number(Left + step * double(i), 'f', 1),
                     QString::number(Top + Height - h, 'f', 1),
                     QString::number(std::max(step - (step > 3 ? 1.0 : 0.0), 0.5), 'f', 2),
                     QString::number(h, 'f', 1), d.day.toString(Qt::ISODate),
                     QString::number(d.checks));
    }
    const QString first = report.days.first().day.toString(Qt::ISODate);
    const QString last = report.days.last().day.toString(Qt::ISODate);
    out += QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%2\" "
                          "viewBox=\"0 0 %1 %2\" role=\"img\" "
                          "aria-label=\"%3 から %4 までの日ごとの答え合わせの数\">")
               .arg(QString::number(Left + Width + 10), QString::number(Top + Height + 24), first,
                    last);
    out += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\" stroke=\"#333\"/>")
               .arg(QString::number(Left), QString::number(Top + Height),
                    QString::number(Left + Width));
    out += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"end\">%3</text>"
                          "<text x=\"%1\" y=\"%4\" text-anchor=\"end\">0</text>")
               .arg(QString::number(Left - 4), QString::number(Top + 10), QString::number(most),
                    QString::number(Top + Height));
    out += bars;
    out += QStringLiteral("<text x=\"%1\" y=\"%2\">%3</text><text x=\"%4\" y=\"%2\" "
                          "text-anchor=\"end\">%5</text></svg>\n")
               .arg(QString::number(Left), QString::number(Top + Height + 18), first,
                    QString::number(Left + Width), last);
    return out + QStringLiteral("<p>%1 日間。最も多い日は %2（%3回）。</p>\n")
                     .arg(QString::number(report.days.size()), busiest->day.toString(Qt::ISODate),
                          QString::number(busiest->checks));
}

// Each class's first-check right share of each problem, side by side; only
// when the report holds several classes.
QString comparisonTable(const Report& report)
{
    if (report.classes.size() < 2) {
        return {};
    }
    QString out = QStringLiteral("<h2>クラスごとの初回正解率</h2>\n<table class=\"compare\">\n"
                                 "<thead><tr><th>問題集</th><th>見出し</th>");
    for (const QString& c : report.classes) {
        out += QStringLiteral("<th>%1</th>").arg(esc(c));
    }
    out += QStringLiteral("</tr></thead>\n<tbody>\n");
    for (const Compared& p : comparison(report)) {
        out +=
            QStringLiteral("<tr>%1<td>%2</td>").arg(seriesCell(report, p.series), esc(p.heading));
        for (const ClassShare& share : p.shares) {
            out += QStringLiteral("<td class=\"num\" title=\"%1/%2人\">%3</td>")
                       .arg(QString::number(share.firstRight), QString::number(share.learners),
                            percent(share.firstRight, share.learners));
        }
        out += QStringLiteral("</tr>\n");
    }
    return out + QStringLiteral("</tbody>\n</table>\n");
}

QString leftOutList(const Report& report)
{
    if (report.leftOut.isEmpty()) {
        return {};
    }
    QString out =
        QStringLiteral("<h2 id=\"left-out\">数えなかった記録</h2>\n<table>\n<thead><tr>"
                       "<th>ファイル</th><th>行</th><th>理由</th></tr></thead>\n<tbody>\n");
    for (const LeftOut& l : report.leftOut) {
        out += QStringLiteral("<tr><td>%1</td><td class=\"num\">%2</td><td>%3</td></tr>\n")
                   .arg(esc(l.file), l.line > 0 ? QString::number(l.line) : QString(),
                        esc(l.reason).replace(QLatin1Char('\n'), QLatin1String("<br>")));
    }
    return out + QStringLiteral("</tbody>\n</table>\n");
}

} // namespace

QByteArray indexHtml(const Report& report, const QString& title)
{
    const QString page = head(report, title) + comparisonTable(report) + seriesTables(report) +
                         hardestTable(report) + confusionTable(report) + termTable(report) +
                         dayChart(report) + leftOutList(report) +
                         QStringLiteral("</body>\n</html>\n");
    return page.toUtf8();
}

} // namespace ReportFiles
