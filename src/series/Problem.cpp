#include "series/Problem.h"

#include "series/CommaList.h"

#include <algorithm>
#include <cmath>

namespace Problems
{

void setQuestion(Problem& problem, QStringView text)
{
    const qsizetype p1 = text.indexOf(QLatin1Char(' ')) + 1;
    const qsizetype p2 = text.indexOf(QChar(0x3000)) + 1;
    const qsizetype split = std::min(p1 > 0 ? p1 : 10, p2 > 0 ? p2 : 10);
    problem.heading = text.left(split - 1).toString();
    problem.question = text.mid(split - 1).toString();
}

QStringList commaFields(const QString& list)
{
    QStringList out;
    WalkCommaList(list, [&out](int, const QString& field) { out.append(field); });
    return out;
}

namespace
{

// A group number as written; text that names no number in range is 0.
int groupNumber(const QString& field)
{
    const double value = LeadingNumber(field);
    return std::abs(value) < 1e9 ? static_cast<int>(value) : 0;
}

QString commaList(const QStringList& fields)
{
    QString out;
    for (const QString& field : fields) {
        out += field + QLatin1Char(',');
    }
    return out;
}

} // namespace

Problem fromRecord(const QStringList& record, int firstLine)
{
    Problem p;
    const auto line = [&](int j) { return j < record.size() ? record.at(j) : QString(); };
    setQuestion(p, line(0));
    p.terms = commaFields(line(1));
    p.groups = commaFields(line(2));
    for (const QString& field : commaFields(line(3))) {
        p.groupOfTerm.append(groupNumber(field));
    }
    p.explanation = line(4);
    if (firstLine > 0) {
        p.lines = {firstLine,     firstLine + 1, firstLine + 2,
                   firstLine + 3, firstLine + 4, firstLine + 4};
    }
    p.recordText = record;
    return p;
}

QStringList record(const Problem& p)
{
    if (!p.recordText.isEmpty()) {
        return p.recordText;
    }
    QString answers;
    for (const int group : p.groupOfTerm) {
        answers += QString::number(group) + QLatin1Char(',');
    }
    return {p.fullQuestion(), commaList(p.terms), commaList(p.groups), answers, p.explanation};
}

} // namespace Problems
