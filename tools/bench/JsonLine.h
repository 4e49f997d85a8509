#pragma once

#include <QString>

struct Spread;

// One JSON object written on one line, its members in the order they were added (so "phase"
// comes first and a reader's eye finds it). Values are numbers, strings, booleans, null or
// nested objects; a number that is not finite is written as null.
class JsonLine {
public:
    JsonLine& add(const char* key, double value);
    JsonLine& add(const char* key, int value);
    JsonLine& add(const char* key, bool value);
    JsonLine& add(const char* key, const QString& value);
    JsonLine& add(const char* key, const char* value) { return add(key, QString::fromUtf8(value)); }
    JsonLine& add(const char* key, const JsonLine& object);
    JsonLine& add(const char* key, const Spread& spread);
    JsonLine& addNull(const char* key);

    QString text() const { return QStringLiteral("{") + members_ + QStringLiteral("}"); }

private:
    JsonLine& addRaw(const char* key, const QString& json);
    QString members_;
};

// A JSON string literal: quoted, with quotes, backslashes and control characters escaped.
QString jsonString(const QString& text);
// A JSON number with microsecond resolution for milliseconds (three decimals), or null.
QString jsonNumber(double value);
