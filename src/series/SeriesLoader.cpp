#include "series/SeriesLoader.h"

#include "files/FileCache.h"

#include "series/SeriesState.h"
#include "series/TextFindings.h"

#include <algorithm>

namespace SeriesLoader
{

namespace
{

const QString NotCarried =
    QStringLiteral("（次の問題の見出しで途切れています。この問題の文は、次の問題にも"
                   "ほかのどこにも入れていません）");

void sortByLine(Findings& findings)
{
    std::stable_sort(findings.begin(), findings.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
}

} // namespace

int Series::loadedCount() const
{
    return static_cast<int>(std::min<qsizetype>(usable.size(), SeriesState::MaxProblems));
}

Findings Series::findings() const
{
    Findings out = TextFindings::readFailure(status, error);
    if (!out.isEmpty()) {
        return out;
    }
    if (empty) {
        out.append({0, Finding::Kind::Error, QStringLiteral("ファイルが空です")});
        return out;
    }
    if (noProblem) {
        out.append({0, Finding::Kind::Error,
                    QStringLiteral("問題がありません。問題は「問題」または「設問」で始まる行"
                                   "から書きます")});
        return out + warnings;
    }
    out = leftOut + warnings;
    if (usable.size() > SeriesState::MaxProblems) {
        out.append({usable.at(SeriesState::MaxProblems).lines.heading, Finding::Kind::Warning,
                    QStringLiteral("1つの問題集に入れられるのは%1問までです。この問題から先の"
                                   "%2問は読み込みません")
                        .arg(QString::number(SeriesState::MaxProblems),
                             QString::number(usable.size() - SeriesState::MaxProblems))});
    }
    sortByLine(out);
    return out;
}

namespace
{

// Why a problem whose lines hold bad bytes is left out; empty when none do.
QString badBytesIn(const Problem& p, const QList<int>& badLines)
{
    for (const int line : badLines) {
        if (line >= p.lines.heading && line <= p.lines.end) {
            return TextFindings::badBytes(line);
        }
    }
    return {};
}

Series fromFile(const TextFile::ReadResult& file)
{
    Series out;
    out.status = file.status;
    out.error = file.error;
    out.badLine = file.badLine;
    if (!file.ok()) {
        return out;
    }
    if (file.lines.isEmpty() || file.texts().join(QString()).trimmed().isEmpty()) {
        out.empty = true;
        return out;
    }
    const SeriesParser::Result parsed = SeriesParser::parse(file.texts());
    out.noProblem = parsed.problems.isEmpty() && parsed.orphanQuestionLines.isEmpty();
    out.warnings = parsed.warnings + TextFindings::controlCharacters(file);
    for (const int line : file.badLines) {
        if (parsed.problems.isEmpty() || line < parsed.problems.first().problem.lines.heading) {
            out.warnings.append({line, Finding::Kind::Error,
                                 QStringLiteral("シフトJIS（コードページ932）の文字として読めない"
                                                "バイトがあります。この行は使いません")});
        }
    }
    if (out.noProblem) {
        return out;
    }
    for (const int line : parsed.orphanQuestionLines) {
        out.leftOut.append(
            {line, Finding::Kind::Error,
             QStringLiteral("項目（Ａ群・語群）の見出しの行がありません") +
                 (parsed.cutShortOrphanLines.contains(line) ? NotCarried : QString())});
    }
    for (const SeriesParser::Draft& d : parsed.problems) {
        QString fault = badBytesIn(d.problem, file.badLines);
        if (fault.isEmpty()) {
            fault = SeriesParser::problemFault(d);
        }
        if (fault.isEmpty()) {
            out.usable.append(d.problem);
        } else {
            out.leftOut.append({d.problem.lines.heading, Finding::Kind::Error,
                                fault + (d.cutShort ? NotCarried : QString())});
        }
    }
    sortByLine(out.leftOut);
    return out;
}

} // namespace

Series load(const QString& path)
{
    static FileCache<Series> read(256);
    return read.get(path, [](const QString& p) { return fromFile(TextFile::readLenient(p)); });
}

Series read(const QByteArray& bytes)
{
    return fromFile(TextFile::decodeLenient(bytes));
}

int placeProblems(SeriesState& state, const Series& series)
{
    const int loaded = series.loadedCount();
    for (int r = 0; r < loaded; ++r) {
        state.problems.at(static_cast<std::size_t>(r) + 1) = series.usable.at(r);
    }
    return loaded;
}

} // namespace SeriesLoader
