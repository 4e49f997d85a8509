#pragma once

#include <QString>

// A text the user gave, as a message quotes it: as typed up to 40 characters; longer, its first
// 32 and the count of the rest, so that no message grows wider than a screen.
QString quotedInput(const QString& text);

// Text to number, as the window's controls read it: optional blanks around an optional sign,
// then a decimal number with '.' as the separator and an optional exponent, or "nan" / "inf" /
// "infinity" in any case. Any other text throws ViewerError
// "'<text>' is not a valid floating point value". A number too large for a double converts to
// an infinity of its sign, so the caller's range check reports it.
double textToFloat(const QString& text);

// The atmosphere heights the sky can use, in metres: finite, stored in single precision
// greater than 0, and at most kMaxAtmosphereHeightMetres, beyond which the sky's path length
// overflows single precision.
extern const float kMaxAtmosphereHeightMetres;

// The height the text gives, as it is stored (single precision). Text that is not a number
// throws the conversion's message; a number outside the usable range throws ViewerError naming
// the text and the accepted range.
float atmosphereHeightFromText(const QString& text);
