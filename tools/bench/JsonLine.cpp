#include "JsonLine.h"

#include "Stats.h"

#include <cmath>

QString jsonString(const QString& text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"': out += QStringLiteral("\\\""); break;
        case '\\': out += QStringLiteral("\\\\"); break;
        case '\n': out += QStringLiteral("\\n"); break;
        case '\r': out += QStringLiteral("\\r"); break;
        case '\t': out += QStringLiteral("\\t"); break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(int(c.unicode()), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out + QLatin1Char('"');
}

QString jsonNumber(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("null");
    return QString::number(value, 'f', 3);
}

JsonLine& JsonLine::addRaw(const char* key, const QString& json)
{
    if (!members_.isEmpty())
        members_ += QLatin1Char(',');
    members_ += jsonString(QString::fromUtf8(key)) + QLatin1Char(':') + json;
    return *this;
}

JsonLine& JsonLine::add(const char* key, double value)
{
    return addRaw(key, jsonNumber(value));
}

JsonLine& JsonLine::add(const char* key, int value)
{
    return addRaw(key, QString::number(value));
}

JsonLine& JsonLine::add(const char* key, bool value)
{
    return addRaw(key, value ? QStringLiteral("true") : QStringLiteral("false"));
}

JsonLine& JsonLine::add(const char* key, const QString& value)
{
    return addRaw(key, jsonString(value));
}

JsonLine& JsonLine::add(const char* key, const JsonLine& object)
{
    return addRaw(key, object.text());
}

JsonLine& JsonLine::add(const char* key, const Spread& spread)
{
    JsonLine object;
    object.add("p10", spread.p10).add("median", spread.median).add("p90", spread.p90).add("max", spread.max);
    return add(key, object);
}

JsonLine& JsonLine::addNull(const char* key)
{
    return addRaw(key, QStringLiteral("null"));
}
