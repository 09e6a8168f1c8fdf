#include "record/FastStatementReader.h"

#include "record/StatementParts.h"

#include <QUuid>

#include <simdjson.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>

namespace
{

namespace od = simdjson::ondemand;
using simdjson::SUCCESS;

// What a line holds: the actor, verb and object as their bytes, the rest as
// values.
struct Line {
    std::string_view id, version, timestamp;
    std::string_view actor, verb, object;
    bool success = false;
    std::string_view response, duration;
    int64_t score[3] = {-1, -1, -1}; // max, min, raw
    int64_t attempt = 0;
    std::string_view registration;
};

// Printable ASCII only: what this program writes in the fields taken apart
// here. Anything else (an escape that makes a control character, a letter
// another parser might read otherwise) goes the slow way.
bool plain(std::string_view s)
{
    bool ok = true;
    for (const char c : s) {
        ok &= c >= 0x20 && c < 0x7f;
    }
    return ok;
}

bool text(od::value& v, std::string_view* out)
{
    return v.get_string().get(*out) == SUCCESS && plain(*out);
}

bool whole(od::value& v, int64_t* out)
{
    return v.get_int64().get(*out) == SUCCESS;
}

bool raw(od::value& v, std::string_view* out)
{
    od::object o;
    return v.get_object().get(o) == SUCCESS && o.raw_json().get(*out) == SUCCESS;
}

// Hands each field of an object to take(the key's place in `keys`, value).
// False unless every key is among `keys`, once, and take() says true: a
// duplicate key is one QJsonDocument and simdjson might read differently.
template <typename Take>
bool eachField(od::object object, std::initializer_list<std::string_view> keys, Take&& take)
{
    unsigned seen = 0;
    const std::string_view* next = keys.begin();
    for (auto member : object) {
        od::field field;
        std::string_view key;
        if (std::move(member).get(field) != SUCCESS || field.unescaped_key().get(key) != SUCCESS) {
            return false;
        }
        // The keys come in the order this program writes them, by name.
        const auto at =
            next != keys.end() && *next == key ? next : std::find(keys.begin(), keys.end(), key);
        next = at + (at != keys.end() ? 1 : 0);
        const unsigned bit = 1u << (at - keys.begin());
        if (at == keys.end() || (seen & bit) != 0 || !take(int(at - keys.begin()), field.value())) {
            return false;
        }
        seen |= bit;
    }
    return seen == (1u << keys.size()) - 1;
}

template <typename Take>
bool eachField(od::value& v, std::initializer_list<std::string_view> keys, Take&& take)
{
    od::object o;
    return v.get_object().get(o) == SUCCESS && eachField(o, keys, take);
}

bool readResult(od::value& v, Line* l)
{
    return eachField(v, {"duration", "response", "score", "success"}, [l](int key, od::value& f) {
        switch (key) {
        case 0:
            return text(f, &l->duration);
        case 1:
            return text(f, &l->response);
        case 2:
            return eachField(f, {"max", "min", "raw"},
                             [l](int at, od::value& n) { return whole(n, &l->score[at]); });
        default:
            return f.get_bool().get(l->success) == SUCCESS;
        }
    });
}

// The extensions, and the class round the answer was given in when it was.
bool readContext(od::value& v, Line* l)
{
    od::object o;
    if (v.get_object().get(o) != SUCCESS) {
        return false;
    }
    bool extensions = false;
    for (auto member : o) {
        od::field field;
        std::string_view key;
        if (std::move(member).get(field) != SUCCESS || field.unescaped_key().get(key) != SUCCESS) {
            return false;
        }
        if (key == "extensions" && !extensions) {
            extensions = eachField(field.value(), {"urn:velmorant:attempt"},
                                   [l](int, od::value& n) { return whole(n, &l->attempt); });
            if (!extensions) {
                return false;
            }
        } else if (key != "registration" || !l->registration.empty() ||
                   !text(field.value(), &l->registration) || l->registration.empty()) {
            return false;
        }
    }
    return extensions;
}

bool readLine(od::document& doc, Line* l)
{
    od::object root;
    if (doc.get_object().get(root) != SUCCESS) {
        return false;
    }
    const bool read = eachField(
        root, {"actor", "context", "id", "object", "result", "timestamp", "verb", "version"},
        [l](int key, od::value& v) {
            switch (key) {
            case 0:
                return raw(v, &l->actor);
            case 1:
                return readContext(v, l);
            case 2:
                return text(v, &l->id);
            case 3:
                return raw(v, &l->object);
            case 4:
                return readResult(v, l);
            case 5:
                return text(v, &l->timestamp);
            case 6:
                return raw(v, &l->verb);
            default:
                return text(v, &l->version);
            }
        });
    // Nothing may follow the statement.
    return read && doc.current_location().error() == simdjson::OUT_OF_BOUNDS;
}

// The object, the actor or the verb of statements StatementReader took,
// by their bytes, with what it read from them.
class Parts
{
public:
    const Answer* find(std::string_view bytes)
    {
        if (last_ == nullptr || last_->first != bytes) {
            const auto it = map_.find(bytes);
            last_ = it != map_.end() ? &*it : nullptr;
        }
        return last_ != nullptr ? &last_->second : nullptr;
    }
    void remember(std::string_view bytes, const Answer& values)
    {
        map_.try_emplace(std::string(bytes), values);
        last_ = nullptr;
    }

private:
    // Every byte is hashed: parts that differ only in their middle (as the
    // headings of made-up or generated problems do) must not all collide.
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const noexcept
        {
            return std::hash<std::string_view>()(s);
        }
    };
    std::unordered_map<std::string, Answer, Hash, std::equal_to<>> map_;
    const std::pair<const std::string, Answer>* last_ = nullptr;
};

} // namespace

struct FastStatementReader::State {
    od::parser parser;
    StatementReader slow;
    Parts actors, verbs, objects;
    std::string padded;
    QString scratch;

    std::optional<Answer> answerOf(const Line& l);
    bool fillResult(const Line& l, Answer* a);
    void remember(const Line& l, const Answer& a);
    // An ASCII field as text, in a buffer used again for every field.
    QStringView asText(std::string_view s);
};

QStringView FastStatementReader::State::asText(std::string_view s)
{
    scratch.resize(qsizetype(s.size()));
    std::copy(s.begin(), s.end(), scratch.data());
    return scratch;
}

bool FastStatementReader::State::fillResult(const Line& l, Answer* a)
{
    const qsizetype terms = a->terms.size();
    if (!StatementParts::readPairs(asText(l.response), terms, a->groups.size(), &a->placed)) {
        return false;
    }
    a->durationMs = StatementParts::durationMsOf(asText(l.duration));
    const int64_t raw = l.score[2];
    if (a->durationMs < 0 || raw < 0 || raw > terms || l.score[1] != 0 || l.score[0] != terms) {
        return false;
    }
    int right = 0;
    for (qsizetype i = 0; i < terms; ++i) {
        right += a->placed.at(i) == a->correct.at(i) ? 1 : 0;
    }
    a->right = right;
    a->success = l.success;
    return right == raw && l.success == (right == terms);
}

std::optional<Answer> FastStatementReader::State::answerOf(const Line& l)
{
    const Answer* object = objects.find(l.object);
    const Answer* actor = actors.find(l.actor);
    if (object == nullptr || actor == nullptr || verbs.find(l.verb) == nullptr ||
        !l.version.starts_with("1.0.") || l.id.size() != 36 || l.attempt < 1 ||
        l.attempt > 1000000000) {
        return std::nullopt;
    }
    Answer a = *object;
    a.learner = actor->learner;
    a.learnerName = actor->learnerName;
    a.homePage = actor->homePage;
    a.id = QUuid::fromString(QLatin1StringView(l.id.data(), qsizetype(l.id.size())));
    a.attempt = int(l.attempt);
    a.registration = asText(l.registration).toString();
    const std::optional<qint64> at = StatementParts::timestampMsOf(asText(l.timestamp));
    if (a.id.isNull() || !at || !fillResult(l, &a)) {
        return std::nullopt;
    }
    a.timestampMs = *at;
    return a;
}

// The whole answer is kept for each part: answerOf() takes from it only the
// fields that part gives.
void FastStatementReader::State::remember(const Line& l, const Answer& a)
{
    actors.remember(l.actor, a);
    verbs.remember(l.verb, a);
    objects.remember(l.object, a);
}

FastStatementReader::FastStatementReader() : d_(std::make_unique<State>()) {}

FastStatementReader::~FastStatementReader() = default;

std::optional<Answer> FastStatementReader::parse(QByteArrayView line, QString* why, qsizetype room)
{
    const char* json = line.data();
    const auto size = std::size_t(line.size());
    std::size_t capacity = std::size_t(std::max(room, line.size()));
    if (capacity < size + simdjson::SIMDJSON_PADDING) {
        d_->padded.assign(json, size);
        d_->padded.resize(size + simdjson::SIMDJSON_PADDING);
        json = d_->padded.data();
        capacity = d_->padded.size();
    }
    Line parts;
    od::document doc;
    const bool read =
        d_->parser.iterate(json, size, capacity).get(doc) == SUCCESS && readLine(doc, &parts);
    if (read) {
        if (std::optional<Answer> answer = d_->answerOf(parts)) {
            return answer;
        }
    }
    std::optional<Answer> answer = d_->slow.parse(line, why);
    if (answer && read) {
        d_->remember(parts, *answer);
    }
    return answer;
}
