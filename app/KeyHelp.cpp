#include "KeyHelp.h"

#include <algorithm>

const std::vector<KeyHelpRow>& keyHelpRows()
{
    static const std::vector<KeyHelpRow> rows = {
        {"Up / Down arrow", "held", "fly forward / backward", false},
        {"Right / Left arrow", "held", "fly right / left", false},
        {"Space / Ctrl", "held", "fly up / down (not in horizontal mode)", false},
        {"D / A", "held", "turn right / left (yaw)", false},
        {"W / S", "held", "tilt up / down (pitch)", false},
        {"E / Q", "held", "roll right / left", false},
        {"K", "held", "hide the sky", false},
        {"P", "held", "run simulated time fast (20.5 hours a second instead of half an hour)", false},
        {"F", "pressed", "orbit the wandering bump, or stop orbiting", false},
        {"L", "pressed", "horizontal mode on or off: the arrows move level with the ground", false},
        {"N", "pressed", "show or hide the terrain's normals (blue lines)", false},
        {"T", "pressed", "freeze or unfreeze simulated time", false},
        {"H / V / B", "pressed", "level the yaw / pitch / roll back to 0", false},
        {"Home", "pressed", "back to the start: position 100, 7, 100, yaw 125, out of orbit", true},
        {"F1", "pressed", "show or hide this table (a click hides it too)", true},
        {"F3", "pressed", "show or hide the graph of the last frames' times, by phase", true},
        {"F5", "pressed", "load the four textures again (after mending or editing a file)", true},
        {"F9", "pressed",
         "start or stop recording the camera's path (terrain-viewer-path-*.csv, in the Pictures folder)", true},
        {"Page Up / Page Down", "pressed", "simulated time half an hour forward / back", true},
        {", / .", "pressed", "view distance halved / doubled (50 to 4000 world units)", true},
        {"F11", "pressed", "full screen on or off", true},
        {"Y", "pressed", "classic or physical sky", true},
        {"F12", "pressed", "save the window as terrain-viewer-YYYYMMDD-HHMMSS.png in the Pictures folder", true},
        {"Esc", "pressed", "close the viewer", false},
        {"Enter", "pressed, in the height field", "leave the field without applying", false},
        {"Left-drag", "mouse, over the view", "turn: yaw by the horizontal, pitch by the vertical movement", true},
        {"Wheel", "mouse, over the view", "fly forward / backward (in orbit mode: zoom)", true},
    };
    return rows;
}

QString keyHelpText()
{
    std::size_t keysWidth = 0, kindWidth = 0;
    for (const KeyHelpRow& row : keyHelpRows()) {
        keysWidth = std::max(keysWidth, std::char_traits<char>::length(row.keys));
        kindWidth = std::max(kindWidth, std::char_traits<char>::length(row.kind));
    }
    QString text;
    for (const KeyHelpRow& row : keyHelpRows())
        text += QStringLiteral("  %1  %2  %3\n")
                    .arg(QLatin1String(row.keys), -int(keysWidth))
                    .arg(QLatin1String(row.kind), -int(kindWidth))
                    .arg(QLatin1String(row.action));
    return text;
}

QString keyHelpHtml(int columns, bool withKindColumn)
{
    const std::vector<KeyHelpRow>& rows = keyHelpRows();
    const auto table = [&rows, withKindColumn](std::size_t first, std::size_t end) {
        QString html = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"2\"><tr><th align=\"left\">Key</th>");
        if (withKindColumn)
            html += QStringLiteral("<th align=\"left\">Held or pressed</th>");
        html += QStringLiteral("<th align=\"left\">What it does</th></tr>");
        for (std::size_t r = first; r < end; ++r) {
            const QString keys = QString(QLatin1String(rows[r].keys)).toHtmlEscaped();
            const QString kind = QString(QLatin1String(rows[r].kind)).toHtmlEscaped();
            const QString action = QString(QLatin1String(rows[r].action)).toHtmlEscaped();
            if (withKindColumn)
                html += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td></tr>").arg(keys, kind, action);
            else
                html += QStringLiteral("<tr><td>%1</td><td>%2 (%3)</td></tr>").arg(keys, action, kind);
        }
        return html + QStringLiteral("</table>");
    };
    if (columns <= 1)
        return table(0, rows.size());
    // Side by side, the first column holding the extra row of an odd split.
    const std::size_t perColumn = (rows.size() + std::size_t(columns) - 1) / std::size_t(columns);
    QString html = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"0\"><tr>");
    for (std::size_t first = 0; first < rows.size(); first += perColumn)
        html += QStringLiteral("<td valign=\"top\">") + table(first, std::min(rows.size(), first + perColumn)) +
                QStringLiteral("</td>");
    return html + QStringLiteral("</tr></table>");
}
