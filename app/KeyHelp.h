#pragma once

#include <QString>
#include <vector>

// The table of keys and mouse actions the user is shown: by --help, by the F1 panel and, in
// the same words, in README's key table. One row per key or pair of keys.
struct KeyHelpRow {
    const char* keys;   // "Up / Down arrow", "F1", "Left-drag"
    const char* kind;   // "held", "pressed", "mouse"
    const char* action; // what it does
    bool ownAction;     // a key that otherwise only sets its held flag, or the mouse, given an
                        // action of the viewer's own: README's "Own" column marks these rows
};

const std::vector<KeyHelpRow>& keyHelpRows();

// The table as plain text, one row a line, columns aligned with spaces; for a terminal.
QString keyHelpText();

// The table as HTML for a rich-text label: the rows split over `columns` tables side by side,
// and with withKindColumn false the "held" / "pressed" column folded into the action's text
// (narrower, for a small window).
QString keyHelpHtml(int columns = 1, bool withKindColumn = true);
