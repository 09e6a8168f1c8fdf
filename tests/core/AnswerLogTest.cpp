#include "record/AnswerLog.h"
#include "files/TextFile.h"
#include "record/ProblemId.h"
#include "record/Statements.h"
#include "series/SeriesParser.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

namespace
{

Answer sample(int n = 1)
{
    Answer a;
    a.learner = QStringLiteral("山田 太郎");
    a.learnerName = a.learner;
    a.homePage = QStringLiteral("https://school.example/velmorant/");
    a.series = QStringLiteral("Seibutsu 1.txt");
    a.problemHash = QStringLiteral("0123456789abcdef-2");
    a.heading = QStringLiteral("問題%1").arg(n);
    a.question = QStringLiteral("\u3000次の「生物」を, \"門\" に分類しなさい。\\");
    a.terms = {QStringLiteral("ウニ"), QStringLiteral("カニ, エビ"), QStringLiteral("\"ヒトデ\"")};
    a.groups = {QStringLiteral("棘皮動物"), QStringLiteral("節足動物")};
    a.correct = {1, 2, 1};
    a.placed = {1, 1, 1};
    a.right = 2;
    a.durationMs = 12345;
    a.timestampMs = 1796700191123; // 2026-12-08T03:23:11.123Z
    a.id = QUuid::fromString(QStringLiteral("6f1e2d3c-4b5a-4978-8695-a4b3c2d1e0f%1").arg(n % 10));
    a.attempt = 2;
    return a;
}

Problem parsedFrom(const QByteArray& bytes)
{
    const TextFile::ReadResult file = TextFile::decode(bytes);
    const SeriesParser::Result parsed = SeriesParser::parse(file.texts());
    return parsed.problems.value(0).problem;
}

} // namespace

TEST(AnswerStatements, RoundTripAndTheSameProblemKeyFromAnyEncodingOrWording)
{
    const QStringList series = {QStringLiteral("問題１　次の動物を，「門」に分類しなさい。"),
                                QStringLiteral("Ａ群"),
                                QStringLiteral("・ウニ　・カニ"),
                                QStringLiteral("Ｂ群"),
                                QStringLiteral("ａ．棘皮動物　ｂ．節足動物"),
                                QStringLiteral("正解a,b,"),
                                QStringLiteral("解説"),
                                QStringLiteral("ウニは棘皮動物。")};
    const Problem cp932 = parsedFrom(TestFiles::lines(series));
    const Problem utf8 = parsedFrom(series.join(QStringLiteral("\n")).toUtf8());
    ASSERT_EQ(cp932.terms.size(), 2);
    const QString key = ProblemIds::keysOf({cp932}).at(0);
    EXPECT_EQ(ProblemIds::keysOf({utf8}).at(0), key);
    EXPECT_EQ(key.size(), 18);
    EXPECT_EQ(key, key.toLower());
    EXPECT_TRUE(key.endsWith(QLatin1String("-1")));
    // What it asks names a problem, not how it is worded.
    Problem changed = cp932;
    changed.groupOfTerm[1] = 1;
    EXPECT_NE(ProblemIds::keysOf({changed}).at(0), key);
    changed = cp932;
    changed.terms[1] = QStringLiteral("エビ");
    EXPECT_NE(ProblemIds::keysOf({changed}).at(0), key);
    changed = cp932;
    changed.explanation += QLatin1Char('.');
    changed.heading = QStringLiteral("問題２");
    changed.question += QStringLiteral("（2点）");
    EXPECT_EQ(ProblemIds::keysOf({changed}).at(0), key);
    // Problems asking the same are told apart by their order among them.
    const QString stem = key.chopped(2);
    EXPECT_EQ(ProblemIds::keysOf({cp932, changed, utf8}),
              (QStringList{key, stem + QStringLiteral("-2"), stem + QStringLiteral("-3")}));

    const Answer a = sample();
    const QByteArray line = Statements::line(a);
    EXPECT_FALSE(line.contains('\n'));
    QString why;
    const std::optional<Answer> back = Statements::parse(line, &why);
    ASSERT_TRUE(back) << why.toStdString();
    EXPECT_EQ(*back, a);
}

TEST(AnswerStatements, FieldsCarryTheXapiNames)
{
    const QByteArray expected = R"({
      "id": "6f1e2d3c-4b5a-4978-8695-a4b3c2d1e0f1",
      "actor": {"objectType": "Agent", "name": "山田 太郎",
                "account": {"homePage": "https://school.example/velmorant/", "name": "山田 太郎"}},
      "verb": {"id": "http://adlnet.gov/expapi/verbs/answered",
               "display": {"en-US": "answered", "ja": "回答した"}},
      "object": {"objectType": "Activity",
        "id": "urn:velmorant:problem:Seibutsu%201.txt:0123456789abcdef-2",
        "definition": {"type": "http://adlnet.gov/expapi/activities/cmi.interaction",
          "name": {"ja": "問題1"},
          "description": {"ja": "\u3000次の「生物」を, \"門\" に分類しなさい。\\"},
          "interactionType": "matching",
          "correctResponsesPattern": ["1[.]1[,]2[.]2[,]3[.]1"],
          "source": [{"id": "1", "description": {"ja": "ウニ"}},
                     {"id": "2", "description": {"ja": "カニ, エビ"}},
                     {"id": "3", "description": {"ja": "\"ヒトデ\""}}],
          "target": [{"id": "1", "description": {"ja": "棘皮動物"}},
                     {"id": "2", "description": {"ja": "節足動物"}}]}},
      "result": {"success": false, "response": "1[.]1[,]2[.]1[,]3[.]1", "duration": "PT12.345S",
                 "score": {"raw": 2, "min": 0, "max": 3}},
      "context": {"extensions": {"urn:velmorant:attempt": 2}},
      "timestamp": "2026-12-08T03:23:11.123Z",
      "version": "1.0.3"})";
    const QJsonObject want = QJsonDocument::fromJson(expected).object();
    ASSERT_FALSE(want.isEmpty());
    EXPECT_EQ(QJsonDocument::fromJson(Statements::line(sample())).object(), want)
        << Statements::line(sample()).toStdString();
    Answer unset = sample();
    unset.homePage.clear();
    EXPECT_TRUE(Statements::line(unset).contains(R"("homePage":"http://velmorant.invalid/")"));
}

TEST(AnswerStatements, ProblemIdsAreIrisAndTheOldOnesAreStillRead)
{
    const QString key = QStringLiteral("0123456789abcdef-12");
    const QList<std::pair<QString, QString>> named = {
        {QStringLiteral("My Series.TXT"), QStringLiteral("My%20Series.TXT")},
        {QStringLiteral("%2E%2E.TXT"), QStringLiteral("%252E%252E.TXT")},
        {QStringLiteral("生物:1.txt"), QStringLiteral("%E7%94%9F%E7%89%A9%3A1.txt")}};
    for (const auto& [file, encoded] : named) {
        const QString iri = ProblemIds::iri(file, key);
        EXPECT_EQ(iri, QStringLiteral("urn:velmorant:problem:") + encoded + QLatin1Char(':') + key);
        const std::optional<ProblemIds::Parsed> back = ProblemIds::parse(iri);
        ASSERT_TRUE(back) << iri.toStdString();
        EXPECT_EQ(back->series, file);
        EXPECT_EQ(back->key, key);
    }
    // An old id: the file name as it is and the hash of the whole text.
    const QString old = QStringLiteral("urn:velmorant:problem:My Series.TXT:0123456789abcdef");
    const std::optional<ProblemIds::Parsed> read = ProblemIds::parse(old);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->series, QStringLiteral("My Series.TXT"));
    EXPECT_EQ(ProblemIds::iri(read->series, read->key), old);
    for (const char* bad : {"urn:velmorant:problem:My Series.TXT:0123456789abcdef-1",
                            "urn:velmorant:problem:S%2.TXT:0123456789abcdef-1",
                            "urn:velmorant:problem:S%FF.TXT:0123456789abcdef-1",
                            "urn:velmorant:problem:S.TXT:0123456789abcdef-01",
                            "urn:velmorant:problem:S.TXT:0123456789ABCDEF-1",
                            "urn:velmorant:problem::0123456789abcdef-1"}) {
        EXPECT_FALSE(ProblemIds::parse(QString::fromUtf8(bad))) << bad;
    }
}

TEST(AnswerStatements, WhatIsNoStatementOfThisProgramIsToldWhy)
{
    const QJsonObject good = QJsonDocument::fromJson(Statements::line(sample())).object();
    // Each change of a good statement, and a word its reason must hold.
    using Change = std::function<void(QJsonObject&)>;
    const auto inResult = [](const char* key, QJsonValue value) -> Change {
        return [=](QJsonObject& s) {
            QJsonObject r = s["result"].toObject();
            r[QLatin1String(key)] = value;
            s["result"] = r;
        };
    };
    const std::vector<std::pair<Change, QString>> cases = {
        {inResult("response", "1[.]1[,]2[.]1"), "result.response"},
        {inResult("response", "1[.]1[,]2[.]3[,]3[.]1"), "result.response"},
        {inResult("response", "1[.]1[,]1[.]1[,]3[.]1"), "result.response"},
        {inResult("duration", "12.345s"), "result.duration"},
        {inResult("duration", "PT12.S"), "result.duration"},
        {inResult("success", true), "result.success"},
        {inResult("score", QJsonObject{{"raw", 3}, {"min", 0}, {"max", 3}}), "result.score.raw"},
        {inResult("score", QJsonObject{{"raw", "2"}, {"min", 0}, {"max", 3}}), "result.score.raw"},
        {[](QJsonObject& s) { s["timestamp"] = "2026-02-30T03:23:11.123Z"; }, "timestamp"},
        {[](QJsonObject& s) { s["timestamp"] = "2026-12-08 03:23:11"; }, "timestamp"},
        {[](QJsonObject& s) { s["id"] = "6f1e2d3c-4b5a-4978-8695"; }, "id"},
        {[](QJsonObject& s) { s.remove("actor"); }, "actor"},
        {[](QJsonObject& s) {
             s["actor"] =
                 QJsonObject{{"objectType", "Agent"},
                             {"name", "a"},
                             {"account", QJsonObject{{"homePage", "velmorant"}, {"name", "a"}}}};
         },
         "actor.account.homePage"},
        {[](QJsonObject& s) {
             s["verb"] = QJsonObject{{"id", "answerd"}};
         },
         "verb.id"},
        {[](QJsonObject& s) {
             QJsonObject o = s["object"].toObject();
             o["id"] = "urn:velmorant:problem:Seibutsu1.txt:0123";
             s["object"] = o;
         },
         "object.id"},
    };
    for (const auto& [change, word] : cases) {
        QJsonObject s = good;
        change(s);
        QString why;
        const QByteArray line = QJsonDocument(s).toJson(QJsonDocument::Compact);
        EXPECT_FALSE(Statements::parse(line, &why)) << line.toStdString();
        EXPECT_TRUE(why.contains(word)) << word.toStdString() << ": " << why.toStdString();
    }
    QString why;
    EXPECT_FALSE(Statements::parse("{\"id\": ", &why));
    EXPECT_TRUE(why.contains(QStringLiteral("JSON")));
}

TEST(AnswerLog, BadLinesAreToldByLineAndACutLastLineIsSetAsideByTheNextAppend)
{
    QTemporaryDir dir;
    AnswerLog log(dir.path(), sample().learner);
    EXPECT_EQ(log.path(), dir.filePath(QStringLiteral("records/山田 太郎.jsonl")));
    ASSERT_EQ(log.append(sample(1)), QString());
    ASSERT_EQ(log.append(sample(2)), QString());

    QJsonObject wrong = QJsonDocument::fromJson(Statements::line(sample(3))).object();
    wrong["result"] = QJsonObject{{"success", false}, {"response", "1[.]1[,]2[.]1"}};
    const QByteArray cut = Statements::line(sample(5)).left(200);
    QFile file(log.path());
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("not json\n" + QJsonDocument(wrong).toJson(QJsonDocument::Compact) + "\n" +
               Statements::line(sample(4)) + "\n" + cut);
    file.close();

    const LogRead first = log.read();
    ASSERT_EQ(first.answers.size(), 3);
    EXPECT_EQ(first.answers.at(2), sample(4));
    ASSERT_EQ(first.findings.size(), 2);
    EXPECT_EQ(first.findings.at(0).line, 3);
    EXPECT_EQ(first.findings.at(1).line, 4);
    EXPECT_TRUE(first.findings.at(1).message.contains(QStringLiteral("result.response")));
    EXPECT_EQ(first.end, QFileInfo(log.path()).size() - cut.size());

    ASSERT_EQ(log.append(sample(6)), QString());
    EXPECT_EQ(TestFiles::readAll(log.path() + ".damaged"), cut + "\n");
    const LogRead added = log.read(first.end);
    ASSERT_EQ(added.answers.size(), 1);
    EXPECT_EQ(added.answers.at(0), sample(6));
    EXPECT_TRUE(added.findings.isEmpty());
    EXPECT_EQ(added.end, QFileInfo(log.path()).size());
    EXPECT_EQ(log.read().answers.size(), 4);
    EXPECT_EQ(AnswerLogs::files(dir.path()), QStringList{log.path()});
}

// A log read a window at a time is read as a whole: lines across the
// windows' edges, a bad line longer than a window told at its line, a cut
// last line left for the next read.
TEST(AnswerLog, ALogLargerThanAWindowIsReadWhole)
{
    QTemporaryDir dir;
    AnswerLog log(dir.path(), sample().learner);
    QByteArray bytes;
    for (int n = 0; n < 3000; ++n) {
        bytes += Statements::line(sample(n)) + "\n";
        if (n == 1000) {
            bytes += "\"" + QByteArray(3 << 20, 'x') + "\n";
        }
    }
    const QByteArray cut = Statements::line(sample(7)).left(100);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(log.path()).path()));
    TestFiles::write(log.path(), "\xEF\xBB\xBF" + bytes + cut);
    const LogRead read = log.read();
    ASSERT_EQ(read.answers.size(), 3000);
    EXPECT_EQ(read.answers.at(2999), sample(2999));
    ASSERT_EQ(read.findings.size(), 1);
    EXPECT_EQ(read.findings.at(0).line, 1002);
    EXPECT_EQ(read.end, bytes.size() + 3);
    EXPECT_EQ(log.read(Statements::line(sample(0)).size() + 4).answers.size(), 2999);
}

TEST(AnswerLog, AFailedAppendLeavesTheLogAsItWas)
{
    QTemporaryDir dir;
    AnswerLog log(dir.path(), QStringLiteral("hanako"));
    ASSERT_EQ(log.append(sample(1)), QString());
    const QByteArray before = TestFiles::readAll(log.path());
    QString reason;
    {
        // Room for half a line.
        const TestFiles::FileSizeLimit full(before.size() * 3 / 2);
        reason = log.append(sample(2));
    }
    EXPECT_TRUE(reason.contains(QStringLiteral("ディスク"))) << reason.toStdString();
    EXPECT_EQ(TestFiles::readAll(log.path()), before);
}

TEST(AnswerLog, FileNamesStayInTheFolderAndApart)
{
    EXPECT_EQ(AnswerLog::fileNameOf(QStringLiteral("../山田")),
              QStringLiteral("%2E.%2F山田.jsonl"));
    EXPECT_EQ(AnswerLog::fileNameOf(QStringLiteral("a\nb:50%")),
              QStringLiteral("a%0Ab%3A50%25.jsonl"));
    EXPECT_EQ(AnswerLog::fileNameOf(QStringLiteral("a.")), QStringLiteral("a%2E.jsonl"));
    const QString longName(300, QChar(0x3042));
    const QString a = AnswerLog::fileNameOf(longName + QLatin1Char('1'));
    const QString b = AnswerLog::fileNameOf(longName + QLatin1Char('2'));
    EXPECT_NE(a, b);
    EXPECT_LE(a.toUtf8().size(), 200 + 6);
}
