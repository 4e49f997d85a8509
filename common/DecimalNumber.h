#pragma once

#include <cctype>
#include <clocale>
#include <cstdlib>
#include <locale.h>
#include <string>
#include <string_view>

// Reads text as a decimal number the way the "C" locale writes one, whatever the user's locale:
// an optional sign, digits with an optional '.' fraction and an optional exponent, or "nan",
// "inf" or "infinity" in any case. The whole text must be the number: no blank before or after
// it, no hexadecimal form ("0x1p3") and no "nan(...)". Returns false for anything else, with
// *value unspecified. A number too large for a double reads as an infinity of its sign and one
// too small as 0 or a subnormal: the caller's range check names them. Callers that accept
// blanks around a number trim them first; callers that need a finite value check it.
inline bool parseDecimalNumber(std::string_view text, double* value)
{
    if (text.empty())
        return false;
    for (char c : text) {
        // strtod would take these as the hexadecimal and "nan(...)" forms; a blank or a NUL
        // would end its reading early, which the length check below also catches.
        if (c == 'x' || c == 'X' || c == '(' || c == '\0' || std::isspace(static_cast<unsigned char>(c)))
            return false;
    }
    // The text need not end in a NUL: strtod reads a copy that does.
    const std::string copy(text);
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    char* end = nullptr;
    *value = strtod_l(copy.c_str(), &end, cLocale);
    return end == copy.c_str() + copy.size();
}
