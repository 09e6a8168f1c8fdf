#include "measure/BoardFindings.h"

#include "files/TextFile.h"
#include "measure/QtFonts.h"
#include "session/MainScreen.h"

#include <QTextLayout>

#include <algorithm>

namespace BoardFindings
{

namespace
{

using Field = SeriesWriter::Field;
using PerGroup = std::array<int, SeriesState::MaxFrames>;

// Terms wider than the window or than their right frame; returns how many
// terms each group takes.
PerGroup checkTerms(const MainScreen& form, const Problem& problem, QList<Note>* out)
{
    const BoardLayout& board = form.board;
    const float clientWidth = form.clientWidth();
    PerGroup perGroup{};
    for (qsizetype i = 0; i < board.terms.size() && i < problem.terms.size(); ++i) {
        const Box& box = board.terms.at(i);
        const QString term = problem.terms.at(i).trimmed();
        if (box.left + box.width > clientWidth) {
            out->append(
                {Field::Terms,
                 QStringLiteral("項目「%1」がウィンドウの幅より広く、右端が見えません").arg(term)});
        }
        const int group = problem.groupOfTerm.value(i);
        if (group < 1 || group > board.frames.size()) {
            continue;
        }
        perGroup.at(group - 1) += 1;
        if (box.width > board.frames.at(group - 1).width - BoardLayout::SlotIndent) {
            out->append(
                {Field::Terms, QStringLiteral("項目「%1」が、正解の分類群「%2」の枠より広く、枠から"
                                              "はみ出します")
                                   .arg(term, problem.groups.at(group - 1).trimmed())});
        }
    }
    return perGroup;
}

// Captions wider than their frame, and frames too short for their terms.
void checkFrames(const MainScreen& form, const Problem& problem, const PerGroup& perGroup,
                 QList<Note>* out)
{
    const BoardLayout& board = form.board;
    for (qsizetype c = 0; c < board.frames.size() && c < problem.groups.size(); ++c) {
        if (board.captions.at(c).width > board.frames.at(c).width) {
            out->append(
                {Field::Groups, QStringLiteral("分類群「%1」の名前が枠の幅より広くなっています")
                                    .arg(problem.groups.at(c).trimmed())});
        }
        const int fits = std::min(board.roomIn(static_cast<int>(c)), perGroup.at(c));
        if (fits < perGroup.at(c)) {
            out->append({Field::Groups,
                         QStringLiteral("分類群「%1」の枠には項目が%2個までしか入りませんが、正解"
                                        "では%3個入ります。この問題は解けません")
                             .arg(problem.groups.at(c).trimmed(), QString::number(fits),
                                  QString::number(perGroup.at(c)))});
        }
    }
}

// Whether a label's caption, wrapped as the window wraps it, fits the
// label's height; *lines is how many lines it takes.
bool fits(const Control& label, int* lines)
{
    QTextLayout layout(label.Caption(), QtFonts::toQFont(label.Font));
    QTextOption option(Qt::AlignLeft | Qt::AlignTop);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    double height = 0.0;
    *lines = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(label.Width / Control::TwipsPerPixel);
        height += line.height();
        ++*lines;
    }
    layout.endLayout();
    return height <= label.Height / Control::TwipsPerPixel;
}

// A heading is meant for one line: a wrapped one splits its number, and a
// third line is cut off. The question has two lines.
void checkTexts(const MainScreen& form, const Problem& problem, QList<Note>* out)
{
    int lines = 0;
    if (!fits(form.headingText, &lines) || lines > 1) {
        out->append({Field::Heading,
                     QStringLiteral("見出し「%1」が見出しの欄の幅より長く、%2行に折り返します")
                         .arg(problem.heading, QString::number(lines))});
    }
    if (!fits(form.questionText, &lines)) {
        out->append({Field::Question,
                     QStringLiteral("問題文が2行に収まりません（%1行になり、はみ出した部分は"
                                    "見えません）")
                         .arg(lines)});
    }
}

} // namespace

QList<Note> layout(const MainScreen& form, const Problem& problem)
{
    QList<Note> out;
    const PerGroup perGroup = checkTerms(form, problem, &out);
    checkFrames(form, problem, perGroup, &out);
    checkTexts(form, problem, &out);
    return out;
}

QList<Note> unencodable(const Problem& problem)
{
    // The record's lines, in the order of these fields.
    const std::array<Field, 5> fields = {Field::Question, Field::Terms, Field::Groups,
                                         Field::Answer, Field::Explanation};
    const QStringList record = Problems::record(problem);
    for (qsizetype i = 0; i < record.size() && i < 5; ++i) {
        const QString bad = TextFile::firstUnencodable(record.at(i));
        if (!bad.isEmpty()) {
            return {{fields.at(static_cast<std::size_t>(i)),
                     QStringLiteral("シフトJISで書けない文字「%1」があるため、この問題にマークを"
                                    "付けてもマークの記録ファイルに保存できません")
                         .arg(bad)}};
        }
    }
    return {};
}

} // namespace BoardFindings
