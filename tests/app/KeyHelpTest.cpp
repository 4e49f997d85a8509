// The key and mouse table: README's copy, --help's text and the F1 panel's HTML all hold the
// same rows.

#include "KeyHelp.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

class KeyHelpTest : public QObject {
    Q_OBJECT
private slots:
    void readmeHoldsTheSameTable();
    void textLinesUpTheColumns();
    void htmlHasEveryCell();
};

void KeyHelpTest::readmeHoldsTheSameTable()
{
    QFile readme(qEnvironmentVariable("TERRAIN_SOURCE_DIR") + QStringLiteral("/README.md"));
    QVERIFY(readme.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString text = QString::fromUtf8(readme.readAll());
    const int start = text.indexOf(QStringLiteral("| Key | Held or pressed | What it does | Added |"));
    QVERIFY(start >= 0);
    const QStringList lines = text.mid(start).split(QLatin1Char('\n'));
    QStringList rows;
    for (int i = 2; i < lines.size() && lines[i].startsWith(QLatin1Char('|')); ++i)
        rows << lines[i];
    QCOMPARE(rows.size(), int(keyHelpRows().size()));
    for (int i = 0; i < rows.size(); ++i) {
        const KeyHelpRow& row = keyHelpRows()[std::size_t(i)];
        const QString expected = QStringLiteral("| %1 | %2 | %3 | %4 |")
                                     .arg(QLatin1String(row.keys), QLatin1String(row.kind), QLatin1String(row.action),
                                          row.added ? QStringLiteral("yes") : QString());
        QString actual = rows[i].trimmed();
        QString wanted = expected;
        // An empty last cell may be written with one space or two.
        QCOMPARE(actual.replace(QStringLiteral("|  |"), QStringLiteral("| |")),
                 wanted.replace(QStringLiteral("|  |"), QStringLiteral("| |")));
    }
    // The added rows are the keys the original set leaves unused, and the mouse.
    QStringList added;
    for (const KeyHelpRow& row : keyHelpRows())
        if (row.added)
            added << QLatin1String(row.keys);
    QCOMPARE(added, (QStringList{"Home", "F1", "F11", "F12", "Left-drag", "Wheel"}));
}

void KeyHelpTest::textLinesUpTheColumns()
{
    const QStringList lines = keyHelpText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), int(keyHelpRows().size()));
    int actionColumn = -1;
    for (int i = 0; i < lines.size(); ++i) {
        const KeyHelpRow& row = keyHelpRows()[std::size_t(i)];
        QVERIFY2(lines[i].startsWith(QStringLiteral("  ") + QLatin1String(row.keys)), qPrintable(lines[i]));
        QVERIFY2(lines[i].endsWith(QLatin1String(row.action)), qPrintable(lines[i]));
        const int column = lines[i].size() - int(qstrlen(row.action));
        if (actionColumn < 0)
            actionColumn = column;
        QCOMPARE(column, actionColumn);
        QCOMPARE(lines[i].mid(column - 2, 2), QStringLiteral("  "));
    }
}

void KeyHelpTest::htmlHasEveryCell()
{
    const QString html = keyHelpHtml();
    int cells = 0;
    for (auto it = QRegularExpression(QStringLiteral("<td>([^<]*)</td>")).globalMatch(html); it.hasNext(); it.next())
        ++cells;
    QCOMPARE(cells, 3 * int(keyHelpRows().size()));
    // Escaping touches only <, >, & and quotes: the words stand as written.
    QVERIFY(html.contains(QStringLiteral("<td>show or hide the terrain's normals (blue lines)</td>")));
    QVERIFY(html.startsWith(QStringLiteral("<table")) && html.endsWith(QStringLiteral("</table>")));
}

QTEST_APPLESS_MAIN(KeyHelpTest)
#include "KeyHelpTest.moc"
