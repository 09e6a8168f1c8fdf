#include "series/SeriesParser.h"

#include "files/TextFile.h"
#include "series/SeriesState.h"

#include <QByteArray>

#include <algorithm>
#include <cstdlib>

namespace SeriesParser
{

namespace
{

const QChar FullWidthSpace(0x3000);

// A tab is blank too: teachers indent headings and part terms with it. The
// answer line alone keeps the old rule (see answerTrimmed).
inline bool blank(QChar c)
{
    return c.unicode() == u' ' || c.unicode() == 0x3000 || c.unicode() == u'\t';
}

// The answer letters stand at fixed places after the heading, and any
// character, a tab too, may follow each one: only spaces are trimmed, so a
// tab after the last letter still lets it be read.
QStringView answerTrimmed(QStringView v)
{
    const auto space = [](QChar c) { return c.unicode() == u' ' || c.unicode() == 0x3000; };
    qsizetype start = 0;
    qsizetype end = v.size();
    while (start < end && (space(v.at(start)) || v.at(start) == u'\t')) {
        ++start;
    }
    while (end > start && space(v.at(end - 1))) {
        --end;
    }
    return v.mid(start, end - start);
}

// Views instead of copies: every line passes through here.
QStringView trimmedView(QStringView v)
{
    qsizetype start = 0;
    qsizetype end = v.size();
    while (start < end && blank(v.at(start))) {
        ++start;
    }
    while (end > start && blank(v.at(end - 1))) {
        --end;
    }
    return v.mid(start, end - start);
}

// Headings are short: compared in place, every line against several of them.
inline bool startsWithWord(QStringView text, QStringView word)
{
    return text.size() >= word.size() && std::equal(word.begin(), word.end(), text.begin());
}

// The headings are tried against the line with its blanks trimmed, which
// starts the same as the line with only its leading blanks skipped.
bool beginsWithAny(QStringView trimmed, QStringView a, QStringView b)
{
    return startsWithWord(trimmed, a) || startsWithWord(trimmed, b);
}

bool isQuestionHeading(QStringView t)
{
    return beginsWithAny(t, u"問題", u"設問");
}
bool isTermHeading(QStringView t)
{
    return beginsWithAny(t, u"Ａ群", u"語群");
}
bool isGroupHeading(QStringView t)
{
    return beginsWithAny(t, u"Ｂ群", u"分類群");
}
bool isAnswerHeading(QStringView t)
{
    return beginsWithAny(t, u"正解", u"解答");
}
bool isExplanationHeading(QStringView t)
{
    return startsWithWord(t, u"解説");
}

qsizetype firstBlank(QStringView s)
{
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (blank(s.at(i))) {
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

// The letters of answer lines are ASCII almost always: their codes are
// looked up once rather than encoded letter by letter.
int answerLetterCode(QChar c)
{
    static const std::array<int, 128> ascii = [] {
        std::array<int, 128> codes{};
        for (char16_t u = 0; u < 128; ++u) {
            codes.at(u) = codePageCode(QChar(u));
        }
        return codes;
    }();
    return c.unicode() < 128 ? ascii.at(c.unicode()) : codePageCode(c);
}

} // namespace

bool isBlank(QChar c)
{
    return blank(c);
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

QStringList prefixedEntries(const QString& text, int prefixLength)
{
    // Walks views of the text: copying the rest after every entry made long
    // lists quadratic.
    const QStringView all = trimmedView(text);
    QStringList result;
    // Made at its size once: grown entry by entry, each problem's lists were
    // allocated several times over.
    result.reserve(
        1 + std::count_if(all.begin(), all.end(), [](QChar c) { return blank(c) || c == u','; }));
    const auto put = [&result](QStringView entry) {
        qsizetype comma = entry.indexOf(QLatin1Char(','));
        for (; comma >= 0; comma = entry.indexOf(QLatin1Char(','))) {
            result.append(entry.left(comma).toString());
            entry = entry.mid(comma + 1);
        }
        result.append(entry.toString());
    };
    qsizetype pos = 0; // start of the entries not split yet
    while (true) {
        qsizetype end = pos;
        while (end < all.size() && !blank(all.at(end))) {
            ++end;
        }
        if (end == all.size()) {
            break;
        }
        // Text between the prefix and the blank; an entry shorter than its
        // prefix gives an empty entry.
        const qsizetype length = std::max<qsizetype>(0, end - pos - prefixLength);
        put(trimmedView(all.mid(pos + prefixLength, length)));
        pos = end;
        while (pos < all.size() && blank(all.at(pos))) {
            ++pos;
        }
    }
    if (pos < all.size()) {
        put(all.mid(pos + prefixLength));
    }
    return result;
}

QList<int> answerGroups(const QString& line)
{
    const QStringView s = answerTrimmed(line);
    // Every other character from the third on, all but the last two.
    const qsizetype letters = std::max<qsizetype>(0, (s.size() - 2) / 2);
    QList<int> result;
    result.reserve(letters);
    for (qsizetype d = 1; d <= letters; ++d) {
        const int value = answerLetterCode(s.at(2 * d)) - 96;
        // The last digit of the value as written, sign or not.
        result.append(std::abs(value % 10));
    }
    return result;
}

int countFields(const QString& list)
{
    // As WalkCommaList counts them: a field before every comma, and one more
    // when text follows the last comma.
    if (list.isEmpty()) {
        return 0;
    }
    return static_cast<int>(list.count(QLatin1Char(','))) +
           (list.endsWith(QLatin1Char(',')) ? 0 : 1);
}

namespace
{
// Hands over what a section gathered, as a copy of its own, and keeps the
// gathering buffer for the next problem: gathering anew made every problem
// grow its texts from nothing again.
QString take(QString& gathered)
{
    QString out = gathered.isEmpty() ? QString() : QString(gathered.constData(), gathered.size());
    gathered.resize(0);
    return out;
}
} // namespace

namespace
{

// A heading the line holds only because a tab stands before it.
bool indentedWithTab(const QString& line)
{
    for (const QChar c : line) {
        if (c == u'\t') {
            return true;
        }
        if (!blank(c)) {
            return false;
        }
    }
    return false;
}

void warnAt(Result& result, int line, const QString& message)
{
    result.warnings.append({line, Finding::Kind::Warning, message});
}

enum class Section { Before, Question, Terms, Groups, Answer };

// Reads the lines one at a time, each in the light of the section it falls
// in, gathering the texts of the problem being read.
class Reader
{
public:
    Result read(const QStringList& lines);

private:
    void questionHeading(const QString& L, int lineNo);
    void question(const QString& L, QStringView T, int lineNo);
    void terms(const QString& L, QStringView T, int lineNo);
    void groups(const QString& L, QStringView T, int lineNo);
    void answer(const QString& L, QStringView T, int lineNo);
    void finish(int lineCount);
    // A heading read only because a tab stands before it is told.
    void heading(const QString& L, int lineNo);
    Draft* current() { return result_.problems.isEmpty() ? nullptr : &result_.problems.last(); }

    Result result_;
    Section s_ = Section::Before;
    QString Q_;
    QString I_;
    QString G_;
    QString E_;
    int questionLine_ = 0;
    int answerLine_ = 0;
    int explanationLine_ = 0;
};

Result Reader::read(const QStringList& lines)
{
    for (int n = 0; n < lines.size(); ++n) {
        const QString& L = lines.at(n);
        const int lineNo = n + 1;
        const QStringView T = trimmedView(L);
        if (T.isEmpty()) {
            continue;
        }
        if (isQuestionHeading(T)) {
            questionHeading(L, lineNo);
        }
        switch (s_) {
        case Section::Before:
            break;
        case Section::Question:
            question(L, T, lineNo);
            break;
        case Section::Terms:
            terms(L, T, lineNo);
            break;
        case Section::Groups:
            groups(L, T, lineNo);
            break;
        case Section::Answer:
            answer(L, T, lineNo);
            break;
        }
    }
    finish(static_cast<int>(lines.size()));
    return std::move(result_);
}

void Reader::heading(const QString& L, int lineNo)
{
    if (indentedWithTab(L)) {
        warnAt(
            result_, lineNo,
            QStringLiteral("タブのあとの「%1」を見出しとして読みます").arg(trimmedView(L).left(2)));
    }
}

void Reader::questionHeading(const QString& L, int lineNo)
{
    if (s_ == Section::Question) {
        // The question before never reached its terms.
        result_.orphanQuestionLines.append(questionLine_);
        result_.cutShortOrphanLines.append(questionLine_);
    } else if (s_ == Section::Terms || s_ == Section::Groups) {
        current()->cutShort = true;
    }
    if (Draft* d = current(); d != nullptr && d->problem.lines.end == 0) {
        d->problem.lines.end = lineNo - 1;
    }
    // Whatever the problem cut short had gathered goes nowhere.
    Q_.resize(0);
    I_.resize(0);
    G_.resize(0);
    s_ = Section::Question;
    questionLine_ = lineNo;
    heading(L, lineNo);
}

void Reader::question(const QString& L, QStringView T, int lineNo)
{
    if (isTermHeading(T)) {
        heading(L, lineNo);
        s_ = Section::Terms;
        Draft d;
        Problems::setQuestion(d.problem, Q_);
        Q_.resize(0);
        d.problem.lines.heading = questionLine_;
        d.problem.lines.terms = lineNo;
        result_.problems.append(std::move(d));
        answerLine_ = 0;
        explanationLine_ = 0;
        return;
    }
    Q_ += T;
    if (!E_.isEmpty()) {
        // The explanation still pending belongs to the problem before.
        QString explanation = take(E_);
        if (Draft* d = current()) {
            d->problem.explanation = std::move(explanation);
        }
    }
}

void Reader::terms(const QString& L, QStringView T, int lineNo)
{
    if (!isGroupHeading(T)) {
        I_ += L;
        return;
    }
    heading(L, lineNo);
    s_ = Section::Groups;
    Draft* d = current();
    d->problem.terms = prefixedEntries(I_, 1);
    d->problem.lines.groups = lineNo;
    d->hasTerms = true;
    I_.resize(0);
}

void Reader::groups(const QString& L, QStringView T, int lineNo)
{
    if (!isAnswerHeading(T)) {
        G_ += L;
        return;
    }
    heading(L, lineNo);
    s_ = Section::Answer;
    Draft* d = current();
    d->problem.groups = prefixedEntries(G_, 2);
    d->rawGroupText = take(G_);
    d->hasGroups = true;
    d->problem.groupOfTerm = answerGroups(L);
    d->problem.lines.answer = lineNo;
    d->answerLine = answerTrimmed(L).toString();
    d->hasAnswer = true;
    answerLine_ = lineNo;
}

void Reader::answer(const QString& L, QStringView T, int lineNo)
{
    if (isExplanationHeading(T)) {
        heading(L, lineNo);
        if (explanationLine_ > 0) {
            warnAt(result_, lineNo,
                   QStringLiteral("この問題の2つ目の「解説」の行です。%1行目からの解説は"
                                  "使わず、この行から先を解説にします")
                       .arg(explanationLine_));
        }
        explanationLine_ = lineNo;
        current()->problem.lines.explanation = lineNo;
        E_ = FullWidthSpace;
        return;
    }
    if (isAnswerHeading(T)) {
        warnAt(result_, lineNo,
               QStringLiteral("この問題の2つ目の「%1」の行です。正解は%2行目のものを"
                              "使い、この行は解説の文として読みます")
                   .arg(T.left(2), QString::number(answerLine_)));
    }
    if (E_.isEmpty()) {
        // An explanation without its heading begins here.
        current()->problem.lines.explanation = lineNo;
    }
    E_ += T;
}

void Reader::finish(int lineCount)
{
    // The last problem keeps the explanation still pending at the end.
    if (!E_.isEmpty()) {
        if (Draft* d = current()) {
            d->problem.explanation = E_;
        }
    }
    if (Draft* d = current(); d != nullptr && d->problem.lines.end == 0) {
        d->problem.lines.end = lineCount;
    }
    if (s_ == Section::Question) {
        result_.orphanQuestionLines.append(questionLine_);
    }
}

} // namespace

Result parse(const QStringList& lines)
{
    return Reader().read(lines);
}

QString problemFault(const Draft& draft)
{
    const Problem& p = draft.problem;
    if (!draft.hasTerms) {
        return QStringLiteral("分類群（Ｂ群）の見出しの行がありません");
    }
    if (!draft.hasAnswer) {
        return QStringLiteral("正解（解答）の行がありません");
    }
    const int terms = static_cast<int>(p.terms.size());
    const int groups = static_cast<int>(p.groups.size());
    if (terms == 0) {
        return QStringLiteral("項目（Ａ群）が1つもありません");
    }
    if (groups == 0) {
        return QStringLiteral("分類群（Ｂ群）が1つもありません");
    }
    if (terms > SeriesState::MaxTerms) {
        return QStringLiteral("項目が%1個あります（%2個まで）")
            .arg(QString::number(terms), QString::number(SeriesState::MaxTerms));
    }
    if (groups > SeriesState::MaxFrames) {
        return QStringLiteral("分類群が%1個あります（%2個まで）")
            .arg(QString::number(groups), QString::number(SeriesState::MaxFrames));
    }
    QStringView g = trimmedView(draft.rawGroupText);
    while (!g.isEmpty()) {
        qsizetype blank = firstBlank(g);
        const QStringView entry = blank < 0 ? g : g.left(blank);
        if (entry.size() < 2) {
            return QStringLiteral("分類群「%1」が、先頭の2文字の記号より短くなっています")
                .arg(entry);
        }
        g = blank < 0 ? QStringView() : trimmedView(g.mid(blank));
    }
    const QString& a = draft.answerLine;
    int answers = 0;
    for (qsizetype d = 1; 2 * d <= a.size() - 2; ++d) {
        const QChar letter = a.at(2 * d);
        ++answers;
        if (letter < QLatin1Char('a') || letter > QLatin1Char('f')) {
            return QStringLiteral("正解の%1番目「%2」が a～f の小文字ではありません")
                .arg(QString::number(answers), QString(letter));
        }
        const int group = letter.unicode() - u'a' + 1;
        if (group > groups) {
            return QStringLiteral("正解の%1番目「%2」は分類群%3を指していますが、分類群は%4個しか"
                                  "ありません")
                .arg(QString::number(answers), QString(letter), QString::number(group),
                     QString::number(groups));
        }
    }
    if (answers != terms) {
        return QStringLiteral("正解の数（%1）が項目の数（%2）と合いません")
            .arg(QString::number(answers), QString::number(terms));
    }
    return {};
}

} // namespace SeriesParser
