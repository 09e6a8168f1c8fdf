#include "server/learner/Requests.h"

#include "series/SeriesState.h"
#include "server/store/CodeAlphabet.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QUrl>

#include <algorithm>

#include <array>
#include <cmath>
#include <cstring>

namespace Requests
{

namespace
{

// The board is at most a few screens of twips; anything beyond is no place.
constexpr double FarthestTwips = 100000.0;
constexpr int MaxEntry = 51; // the marked series, 50 series and the review

struct ButtonName {
    const char* name;
    Button button;
};
constexpr std::array<ButtonName, 10> ButtonNames = {{
    {"next", Button::Next},
    {"retry", Button::Retry},
    {"toList", Button::ToList},
    {"previous", Button::Previous},
    {"explanation", Button::Explanation},
    {"mark", Button::Mark},
    {"arrowNext", Button::ArrowNext},
    {"arrowPrevious", Button::ArrowPrevious},
    {"quit", Button::Quit},
    {"explanationBack", Button::ExplanationBack},
}};

// An integer field within [low, high], or nothing.
std::optional<int> whole(const QJsonObject& o, const char* key, int low, int high)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isDouble()) {
        return std::nullopt;
    }
    const double d = v.toDouble();
    if (!std::isfinite(d) || d != std::floor(d) || d < low || d > high) {
        return std::nullopt;
    }
    return static_cast<int>(d);
}

std::optional<float> place(const QJsonObject& o, const char* key)
{
    const QJsonValue v = o.value(QLatin1String(key));
    const double d = v.toDouble(std::nan(""));
    if (!v.isDouble() || !std::isfinite(d) || std::abs(d) > FarthestTwips) {
        return std::nullopt;
    }
    return static_cast<float>(d);
}

std::optional<Command> readMove(const QJsonObject& o, QString* why)
{
    Command c;
    c.kind = Kind::Move;
    const std::optional<int> term = whole(o, "term", 0, SeriesState::MaxTerms - 1);
    if (!term) {
        *why = QStringLiteral("項目の番号が正しくありません");
        return std::nullopt;
    }
    c.move.term = *term;
    if (o.contains(QLatin1String("frame"))) {
        const std::optional<int> frame = whole(o, "frame", 0, SeriesState::MaxFrames - 1);
        if (!frame) {
            *why = QStringLiteral("枠の番号が正しくありません");
            return std::nullopt;
        }
        c.move.frame = *frame;
        return c;
    }
    const std::optional<float> left = place(o, "left");
    const std::optional<float> top = place(o, "top");
    if (!left || !top) {
        *why = QStringLiteral("項目を置く位置が正しくありません");
        return std::nullopt;
    }
    c.move.left = *left;
    c.move.top = *top;
    return c;
}

struct CarryName {
    const char* name;
    Carry carry;
};
constexpr std::array<CarryName, 8> CarryNames = {{
    {"pickUp", Carry::PickUp},
    {"toggle", Carry::Toggle},
    {"left", Carry::Left},
    {"right", Carry::Right},
    {"up", Carry::Up},
    {"down", Carry::Down},
    {"putDown", Carry::PutDown},
    {"putBack", Carry::PutBack},
}};

std::optional<Command> readCarry(const QJsonObject& o, QString* why)
{
    const QString name = o.value(QLatin1String("action")).toString();
    const auto it = std::find_if(CarryNames.begin(), CarryNames.end(), [&name](const CarryName& c) {
        return name == QLatin1String(c.name);
    });
    if (it == CarryNames.end()) {
        *why = QStringLiteral("項目の動かし方が正しくありません");
        return std::nullopt;
    }
    Command c;
    c.kind = Kind::Carry;
    c.carry = it->carry;
    if (c.carry == Carry::PickUp || c.carry == Carry::Toggle) {
        const std::optional<int> term = whole(o, "term", 0, SeriesState::MaxTerms - 1);
        if (!term) {
            *why = QStringLiteral("項目の番号が正しくありません");
            return std::nullopt;
        }
        c.move.term = *term;
    }
    return c;
}

std::optional<Command> readPress(const QJsonObject& o, QString* why)
{
    const QString name = o.value(QLatin1String("button")).toString();
    for (const ButtonName& b : ButtonNames) {
        if (name == QLatin1String(b.name)) {
            Command c;
            c.kind = Kind::Press;
            c.button = b.button;
            return c;
        }
    }
    *why = QStringLiteral("ボタンの名前が正しくありません");
    return std::nullopt;
}

// The state an action is meant for, and its key; false with *why set when
// either is missing or malformed.
bool readStateOf(const QJsonObject& o, Command& c, QString* why)
{
    const QJsonValue seq = o.value(QLatin1String("seq"));
    const double d = seq.toDouble(-1.0);
    if (!seq.isDouble() || d < 0 || d > 9.0e15 || d != std::floor(d)) {
        *why = QStringLiteral("どの画面への操作かがわかりません（seq がありません）");
        return false;
    }
    c.seq = static_cast<qint64>(d);
    if (const QJsonValue key = o.value(QLatin1String("key")); !key.isUndefined()) {
        c.key = key.toString().toLatin1();
        if (!key.isString() || !validKey(c.key)) {
            *why = QStringLiteral("操作の鍵（key）の形が正しくありません");
            return false;
        }
    }
    if (const QJsonValue round = o.value(QLatin1String("round")); !round.isUndefined()) {
        c.round = round.toString();
        if (!round.isString() || c.round.size() > 80) {
            *why =
                QStringLiteral("どの問題への操作かがわかりません（round の形が正しくありません）");
            return false;
        }
    }
    return true;
}

std::optional<Command> readAction(Kind kind, const QJsonObject& o, QString* why)
{
    std::optional<Command> c;
    switch (kind) {
    case Kind::Open:
        if (const std::optional<int> entry = whole(o, "entry", 0, MaxEntry)) {
            c = Command{};
            c->kind = Kind::Open;
            c->entry = *entry;
        } else {
            *why = QStringLiteral("問題集の番号が正しくありません");
        }
        break;
    case Kind::Move:
        c = readMove(o, why);
        break;
    case Kind::Press:
        c = readPress(o, why);
        break;
    case Kind::Carry:
        c = readCarry(o, why);
        break;
    case Kind::SignIn:
        break;
    }
    if (c && !readStateOf(o, *c, why)) {
        return std::nullopt;
    }
    return c;
}

} // namespace

bool validKey(QByteArrayView key)
{
    return key.size() >= 8 && key.size() <= 64 && std::all_of(key.begin(), key.end(), [](char ch) {
               return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') ||
                      (ch >= '0' && ch <= '9') || ch == '-' || ch == '_';
           });
}

std::optional<Command> parse(Kind kind, QByteArrayView body, QString* why)
{
    if (body.size() > MaxBody) {
        *why = QStringLiteral("要求が大きすぎます");
        return std::nullopt;
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        *why = QStringLiteral("要求の形が正しくありません");
        return std::nullopt;
    }
    const QJsonObject o = doc.object();
    if (kind != Kind::SignIn) {
        return readAction(kind, o, why);
    }
    Command c;
    c.code = SignInCodes::normalisedCode(o.value(QLatin1String("code")).toString());
    if (c.code.isEmpty()) {
        *why = QStringLiteral("コードは%1文字です").arg(SignInCodes::CodeLength);
        return std::nullopt;
    }
    return c;
}

bool sameOrigin(QByteArrayView host, QByteArrayView origin, QByteArrayView referer)
{
    const QByteArrayView claimed = origin.isEmpty() ? referer : origin;
    if (host.isEmpty() || claimed.isEmpty()) {
        return false;
    }
    const QUrl url(QString::fromLatin1(claimed.toByteArray()), QUrl::StrictMode);
    if (!url.isValid() ||
        (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))) {
        return false;
    }
    const int defaultPort = url.scheme() == QLatin1String("https") ? 443 : 80;
    const int port = url.port(defaultPort);
    QString claimedHost = url.host(QUrl::FullyEncoded);
    if (claimedHost.contains(QLatin1Char(':'))) {
        claimedHost = QLatin1Char('[') + claimedHost + QLatin1Char(']');
    }
    const QString expected =
        port == defaultPort ? claimedHost : claimedHost + QLatin1Char(':') + QString::number(port);
    const QString sentTo = QString::fromLatin1(host.toByteArray()).toLower();
    return sentTo == expected.toLower() ||
           sentTo == (claimedHost + QLatin1Char(':') + QString::number(port)).toLower();
}

QByteArray sessionCookie(QByteArrayView cookieHeader, const char* cookieName)
{
    const QByteArray name = QByteArray(cookieName) + '=';
    for (QByteArray part : cookieHeader.toByteArray().split(';')) {
        part = part.trimmed();
        if (!part.startsWith(name)) {
            continue;
        }
        const QByteArray value = part.mid(name.size());
        const bool hex = value.size() == 64 && std::all_of(value.begin(), value.end(), [](char c) {
                             return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
                         });
        return hex ? value : QByteArray();
    }
    return {};
}

std::optional<Kind> verbKind(QStringView verb)
{
    if (verb == QLatin1String("open")) {
        return Kind::Open;
    }
    if (verb == QLatin1String("move")) {
        return Kind::Move;
    }
    if (verb == QLatin1String("press")) {
        return Kind::Press;
    }
    if (verb == QLatin1String("carry")) {
        return Kind::Carry;
    }
    return std::nullopt;
}

} // namespace Requests
