#include "files/JsonWriter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <limits>

namespace
{

// Texts a teacher's files and a learner's names may hold: quotes and
// backslashes, control characters, Japanese, a character beyond the basic
// plane, and a surrogate left without its pair.
const QString Awkward = QStringLiteral("a\"b\\c\n\r\t") + QChar(1) + QChar(0x1f) +
                        QStringLiteral("日本語・ｶﾅ𝄞") + QChar(0xd800) + QStringLiteral("z");

} // namespace

// What the writer writes reads back as the same values, nested, with the
// commas in the right places, in the same bytes as QJsonDocument writes.
TEST(JsonWriter, WritesWhatQtReadsBackAsTheSameValues)
{
    const auto text = [](JsonWriter& w) { w.key(QLatin1StringView("text")).value(Awkward); };
    const auto list = [](JsonWriter& w) {
        w.key(QLatin1StringView("list")).openArray();
        w.value(0.1F).value(1234.5).value(3.0).value(-7).value(qint64(1) << 40).value(1e300);
        w.value(QLatin1StringView("ab"))
            .value(QLatin1StringView("q\"\xe9"))
            .null()
            .value(true)
            .open()
            .close()
            .openArray()
            .closeArray();
        w.closeArray();
    };
    const auto inner = [](JsonWriter& w) {
        w.key(QLatin1StringView("inner")).open().key(QLatin1StringView("a")).value(1);
        w.members("\"b\":2").members("").key(QLatin1StringView("c")).raw("[3]").close();
    };
    JsonWriter w;
    w.open();
    text(w);
    list(w);
    inner(w);
    w.close();

    QJsonParseError error{};
    const QJsonObject read = QJsonDocument::fromJson(w.bytes(), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << w.bytes().toStdString();
    QString expectedText = Awkward;
    expectedText.replace(QChar(0xd800), QChar(0xfffd));
    const QJsonObject expected{
        {QStringLiteral("text"), expectedText},
        {QStringLiteral("list"), QJsonArray{double(0.1F), 1234.5, 3, -7, qint64(1) << 40, 1e300,
                                            QStringLiteral("ab"), QStringLiteral("q\"\u00e9"),
                                            QJsonValue::Null, true, QJsonObject{}, QJsonArray{}}},
        {QStringLiteral("inner"), QJsonObject{{QStringLiteral("a"), 1},
                                              {QStringLiteral("b"), 2},
                                              {QStringLiteral("c"), QJsonArray{3}}}}};
    EXPECT_EQ(read, expected);
    // Members in Qt's order give Qt's very bytes.
    JsonWriter sorted;
    sorted.open();
    inner(sorted);
    list(sorted);
    text(sorted);
    sorted.close();
    EXPECT_EQ(sorted.bytes(), QJsonDocument(expected).toJson(QJsonDocument::Compact));
}

// A number JSON cannot hold is written as null, never as text that would
// make the whole reply unreadable.
TEST(JsonWriter, WritesANumberJsonCannotHoldAsNull)
{
    JsonWriter w;
    w.openArray()
        .value(std::numeric_limits<double>::quiet_NaN())
        .value(std::numeric_limits<double>::infinity())
        .value(2.5F)
        .closeArray();
    EXPECT_EQ(w.bytes(), QByteArray("[null,null,2.5]"));
}
