#include "series/TextFindings.h"

namespace TextFindings
{

QString utf16()
{
    return QStringLiteral("UTF-16 で保存されたファイルです。このプログラムは読めません。"
                          "シフトJIS（コードページ932）か UTF-8 で保存し直してください");
}

QString badBytes(int line)
{
    return QStringLiteral("%1行目に、シフトJIS（コードページ932）の文字として読めないバイトが"
                          "あります")
        .arg(line);
}

Findings controlCharacters(const TextFile::ReadResult& file)
{
    Findings out;
    for (qsizetype n = 0; n < file.lines.size(); ++n) {
        if (file.badLines.contains(static_cast<int>(n + 1))) {
            continue; // told as bad bytes; their stand-in is a control character
        }
        for (const QChar c : file.lines.at(n).text) {
            const char16_t u = c.unicode();
            if ((u < 0x20 && u != u'\t') || (u >= 0x7F && u <= 0x9F)) {
                out.append({static_cast<int>(n + 1), Finding::Kind::Warning,
                            QStringLiteral("制御文字（U+%1）があります。表示では見えないか、"
                                           "おかしな記号になります")
                                .arg(QString::number(u, 16).toUpper().rightJustified(
                                    4, QLatin1Char('0')))});
                break;
            }
        }
    }
    return out;
}

Findings readFailure(TextFile::ReadResult::Status status, const QString& error)
{
    switch (status) {
    case TextFile::ReadResult::Status::Missing:
        return {{0, Finding::Kind::Error, QStringLiteral("ファイルが見つかりません")}};
    case TextFile::ReadResult::Status::Unreadable:
        return {{0, Finding::Kind::Error,
                 QStringLiteral("ファイルを読み込めません（理由: %1）").arg(error)}};
    case TextFile::ReadResult::Status::BadEncoding:
        return {{0, Finding::Kind::Error, utf16()}};
    case TextFile::ReadResult::Status::Ok:
        break;
    }
    return {};
}

} // namespace TextFindings
