#include "series/SeriesParser.h"

#include "board/CommaList.h"
#include "files/TextFile.h"
#include "state/Module1.h"

#include <QByteArray>

namespace SeriesParser
{

namespace
{

const QChar FullWidthSpace(0x3000);

bool beginsWithAny(const QString& line, const char16_t* a, const char16_t* b)
{
    return beginsWith(line, QStringView(a)) || beginsWith(line, QStringView(b));
}

bool isQuestionHeading(const QString& l)
{
    return beginsWithAny(l, u"問題", u"設問");
}
bool isItemHeading(const QString& l)
{
    return beginsWithAny(l, u"Ａ群", u"語群");
}
bool isGroupHeading(const QString& l)
{
    return beginsWithAny(l, u"Ｂ群", u"分類群");
}
bool isAnswerHeading(const QString& l)
{
    return beginsWithAny(l, u"正解", u"解答");
}
bool isExplanationHeading(const QString& l)
{
    return beginsWith(l, QStringLiteral("解説"));
}

qsizetype firstBlank(const QString& s)
{
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (isBlank(s.at(i))) {
            return i;
        }
    }
    return -1;
}

// The character code a letter of the answer line has in code page 932, as a
// signed 16-bit number for a double-byte character.
int codePageCode(QChar c)
{
    QByteArray bytes;
    if (!TextFile::encodeText(QString(c), &bytes) || bytes.isEmpty()) {
        return '?';
    }
    if (bytes.size() == 1) {
        return static_cast<unsigned char>(bytes.at(0));
    }
    const int word =
        (static_cast<unsigned char>(bytes.at(0)) << 8) | static_cast<unsigned char>(bytes.at(1));
    return static_cast<qint16>(static_cast<quint16>(word));
}

} // namespace

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == FullWidthSpace;
}

QString trimBlanks(const QString& s)
{
    qsizetype start = 0;
    qsizetype end = s.size();
    while (start < end && isBlank(s.at(start))) {
        ++start;
    }
    while (end > start && isBlank(s.at(end - 1))) {
        --end;
    }
    return s.mid(start, end - start);
}

QString leftTrimBlanks(const QString& s)
{
    qsizetype start = 0;
    while (start < s.size() && isBlank(s.at(start))) {
        ++start;
    }
    return s.mid(start);
}

bool beginsWith(const QString& line, QStringView word)
{
    // Every line is tried against every heading: look without copying.
    qsizetype start = 0;
    while (start < line.size() && isBlank(line.at(start))) {
        ++start;
    }
    return QStringView(line).mid(start).startsWith(word);
}

QString SplitPrefixedList(const QString& text, int prefixLength)
{
    // Walks views of the text: copying the rest after every entry made long
    // lists quadratic.
    const auto trimmed = [](QStringView v) {
        qsizetype start = 0;
        qsizetype end = v.size();
        while (start < end && isBlank(v.at(start))) {
            ++start;
        }
        while (end > start && isBlank(v.at(end - 1))) {
            --end;
        }
        return v.mid(start, end - start);
    };
    const QStringView all = trimmed(text);
    QString result;
    qsizetype pos = 0; // start of the entries not split yet
    while (true) {
        qsizetype blank = pos;
        while (blank < all.size() && !isBlank(all.at(blank))) {
            ++blank;
        }
        if (blank == all.size()) {
            break;
        }
        // Text between the prefix and the blank; an entry shorter than its
        // prefix gives an empty entry.
        const qsizetype length = std::max<qsizetype>(0, blank - pos - prefixLength);
        result += trimmed(all.mid(pos + prefixLength, length));
        result += QLatin1Char(',');
        pos = blank;
        while (pos < all.size() && isBlank(all.at(pos))) {
            ++pos;
        }
    }
    if (pos < all.size()) {
        result += all.mid(pos + prefixLength);
        result += QLatin1Char(',');
    }
    return result;
}

QString ConvertAnswerLine(const QString& line)
{
    const QString s = trimBlanks(line);
    QString result;
    for (qsizetype d = 1; 2 * d <= s.size() - 2; ++d) {
        const int value = codePageCode(s.at(2 * d)) - 96;
        const QString digits = QString::number(value);
        result += digits.right(1);
        result += QLatin1Char(',');
    }
    return result;
}

int countFields(const QString& list)
{
    return WalkCommaList(list, [](int, const QString&) {});
}

Result parse(const QStringList& lines)
{
    enum Section { Before, Question, Items, Groups, Answer };
    Result result;
    Section s = Before;
    QString Q;
    QString I;
    QString G;
    QString E;
    int questionLine = 0;
    auto current = [&]() -> Problem* {
        return result.problems.isEmpty() ? nullptr : &result.problems.last();
    };

    for (int n = 0; n < lines.size(); ++n) {
        const QString& L = lines.at(n);
        const int lineNo = n + 1;
        if (trimBlanks(L).isEmpty()) {
            continue;
        }
        if (isQuestionHeading(L)) {
            if (s == Question) {
                // The question before never reached its items.
                result.orphanQuestionLines.append(questionLine);
                result.cutShortOrphanLines.append(questionLine);
            } else if (s == Items || s == Groups) {
                current()->cutShort = true;
            }
            // Whatever the problem cut short had gathered goes nowhere.
            Q.clear();
            I.clear();
            G.clear();
            s = Question;
            questionLine = lineNo;
        }
        switch (s) {
        case Before:
            break;
        case Question:
            if (isItemHeading(L)) {
                s = Items;
                Problem p;
                p.columns[0] = Q;
                p.columns[4] = QString();
                p.line = questionLine;
                result.problems.append(p);
                Q.clear();
            } else {
                Q += trimBlanks(L);
                if (!E.isEmpty()) {
                    if (Problem* p = current()) {
                        p->columns[4] = E;
                    }
                    E.clear();
                }
            }
            break;
        case Items:
            if (isGroupHeading(L)) {
                s = Groups;
                current()->columns[1] = SplitPrefixedList(I, 1);
                current()->hasItems = true;
                I.clear();
            } else {
                I += L;
            }
            break;
        case Groups:
            if (isAnswerHeading(L)) {
                s = Answer;
                Problem* p = current();
                p->columns[2] = SplitPrefixedList(G, 2);
                p->rawGroupText = G;
                p->hasGroups = true;
                G.clear();
                p->columns[3] = ConvertAnswerLine(L);
                p->answerLine = trimBlanks(L);
                p->hasAnswer = true;
            } else {
                G += L;
            }
            break;
        case Answer:
            if (isExplanationHeading(L)) {
                E = FullWidthSpace;
            } else {
                E += trimBlanks(L);
            }
            break;
        }
    }
    // The last problem keeps the explanation still pending at the end.
    if (!E.isEmpty()) {
        if (Problem* p = current()) {
            p->columns[4] = E;
        }
    }
    if (s == Question) {
        result.orphanQuestionLines.append(questionLine);
    }
    return result;
}

QString problemFault(const Problem& p)
{
    if (!p.hasItems) {
        return QStringLiteral("分類群（Ｂ群）の見出しの行がありません");
    }
    if (!p.hasAnswer) {
        return QStringLiteral("正解（解答）の行がありません");
    }
    const int items = countFields(p.columns[1]);
    const int groups = countFields(p.columns[2]);
    if (items == 0) {
        return QStringLiteral("項目（Ａ群）が1つもありません");
    }
    if (groups == 0) {
        return QStringLiteral("分類群（Ｂ群）が1つもありません");
    }
    if (items > Module1::MaxItems) {
        return QStringLiteral("項目が%1個あります（%2個まで）").arg(items).arg(Module1::MaxItems);
    }
    if (groups > Module1::MaxGroups) {
        return QStringLiteral("分類群が%1個あります（%2個まで）")
            .arg(groups)
            .arg(Module1::MaxGroups);
    }
    QString g = trimBlanks(p.rawGroupText);
    while (!g.isEmpty()) {
        qsizetype blank = firstBlank(g);
        const QString entry = blank < 0 ? g : g.left(blank);
        if (entry.size() < 2) {
            return QStringLiteral("分類群「%1」が、先頭の2文字の記号より短くなっています")
                .arg(entry);
        }
        g = blank < 0 ? QString() : trimBlanks(g.mid(blank));
    }
    const QString& a = p.answerLine;
    int answers = 0;
    for (qsizetype d = 1; 2 * d <= a.size() - 2; ++d) {
        const QChar letter = a.at(2 * d);
        ++answers;
        if (letter < QLatin1Char('a') || letter > QLatin1Char('f')) {
            return QStringLiteral("正解の%1番目「%2」が a～f の小文字ではありません")
                .arg(answers)
                .arg(letter);
        }
        const int group = letter.unicode() - u'a' + 1;
        if (group > groups) {
            return QStringLiteral("正解の%1番目「%2」は分類群%3を指していますが、分類群は%4個しか"
                                  "ありません")
                .arg(answers)
                .arg(letter)
                .arg(group)
                .arg(groups);
        }
    }
    if (answers != items) {
        return QStringLiteral("正解の数（%1）が項目の数（%2）と合いません").arg(answers).arg(items);
    }
    return {};
}

} // namespace SeriesParser
