#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QLatin1StringView>
#include <QStringView>

// Compact JSON written straight into bytes, for replies made on every move:
// building a QJsonObject and then its text took a third of a move's time.
// The caller keeps the nesting right; the writer puts in the commas.
class JsonWriter
{
public:
    JsonWriter& open() { return opening('{'); }
    JsonWriter& close() { return closing('}'); }
    JsonWriter& openArray() { return opening('['); }
    JsonWriter& closeArray() { return closing(']'); }
    // A member's name, in the object open; its value comes next.
    JsonWriter& key(QLatin1StringView name);

    JsonWriter& value(QStringView text);
    JsonWriter& value(QLatin1StringView text);
    JsonWriter& value(const char16_t* text) { return value(QStringView(text)); }
    JsonWriter& value(bool b);
    JsonWriter& value(int n) { return value(qint64(n)); }
    JsonWriter& value(qint64 n);
    JsonWriter& value(double d);
    JsonWriter& value(float f) { return value(double(f)); }
    JsonWriter& null();
    // A value already written as JSON.
    JsonWriter& raw(QByteArrayView json);
    // Members already written (`"a":1,"b":2`), into the object open.
    JsonWriter& members(QByteArrayView json);

    const QByteArray& bytes() const { return out_; }
    QByteArray take() { return std::move(out_); }

    // A string's JSON text, quotes and all.
    static void appendString(QByteArray& out, QStringView text);

private:
    void beforeValue();
    JsonWriter& opening(char bracket);
    JsonWriter& closing(char bracket);

    QByteArray out_;
    bool comma_ = false; // the next member or element follows another
};
