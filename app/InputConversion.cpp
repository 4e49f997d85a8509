#include "InputConversion.h"

#include "DecimalNumber.h"
#include "ViewerError.h"

#include <cmath>
#include <limits>

// (2 * planetRadius + h) * h must stay finite in single precision for the sky's path length:
// with the planet's radius of 6371000 m that holds up to about 1.8e19 m (maxAtmosphereHeight,
// World.h). The bound is kept
// well inside it, at 1e18 m, so every product of the path computation is finite too.
const float kMaxAtmosphereHeightMetres = 1e18f;

QString quotedInput(const QString& text)
{
    constexpr int kLongest = 40;
    constexpr int kKept = 32;
    if (text.size() <= kLongest)
        return text;
    return QStringLiteral("%1... (%2 more characters)").arg(text.left(kKept)).arg(text.size() - kKept);
}

namespace {

[[noreturn]] void notANumber(const QString& text)
{
    throw ViewerError(QStringLiteral("'%1' is not a valid floating point value").arg(quotedInput(text)).toStdString());
}

} // namespace

double textToFloat(const QString& text)
{
    // Non-Latin-1 characters become '?' here and are refused by the parse.
    const QByteArray bytes = text.trimmed().toLatin1();
    double value = 0.0;
    if (!parseDecimalNumber(std::string_view(bytes.constData(), std::size_t(bytes.size())), &value))
        notANumber(text);
    return value;
}

float atmosphereHeightFromText(const QString& text)
{
    const double value = textToFloat(text);
    const float stored = float(value);
    if (value > 0.0 && stored == 0.0f) {
        // Greater than 0 as typed, but below half the smallest single-precision number.
        throw ViewerError(QStringLiteral("The atmosphere height '%1' cannot be used: it is too small and rounds to 0 "
                                         "metres in single precision. The smallest usable height is %2 metres.")
                              .arg(quotedInput(text.trimmed()))
                              .arg(double(std::numeric_limits<float>::denorm_min()), 0, 'g', 2)
                              .toStdString());
    }
    if (!(stored > 0.0f) || !(stored <= kMaxAtmosphereHeightMetres)) {
        throw ViewerError(QStringLiteral("The atmosphere height '%1' cannot be used: enter a number of metres "
                                         "greater than 0 and at most %2.")
                              .arg(quotedInput(text.trimmed()))
                              .arg(double(kMaxAtmosphereHeightMetres), 0, 'g', 3)
                              .toStdString());
    }
    return stored;
}
