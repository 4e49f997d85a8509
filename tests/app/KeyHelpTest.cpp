// The key and mouse table that --help prints and F1 shows is README's table, row by row.

#include "KeyHelp.h"

#include <QFile>
#include <QTest>

class KeyHelpTest : public QObject {
    Q_OBJECT
private slots:
    void readmeHoldsTheSameTable();
};

void KeyHelpTest::readmeHoldsTheSameTable()
{
    QFile readme(qEnvironmentVariable("TERRAIN_SOURCE_DIR") + QStringLiteral("/README.md"));
    QVERIFY(readme.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString text = QString::fromUtf8(readme.readAll());
    const int start = text.indexOf(QStringLiteral("| Key | Held or pressed | What it does | Own |"));
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
                                          row.ownAction ? QStringLiteral("yes") : QString());
        QString actual = rows[i].trimmed();
        QString wanted = expected;
        // An empty last cell may be written with one space or two.
        QCOMPARE(actual.replace(QStringLiteral("|  |"), QStringLiteral("| |")),
                 wanted.replace(QStringLiteral("|  |"), QStringLiteral("| |")));
    }
    // The viewer's own rows are the keys the key table leaves without an action, and the mouse.
    QStringList own;
    for (const KeyHelpRow& row : keyHelpRows())
        if (row.ownAction)
            own << QLatin1String(row.keys);
    QCOMPARE(own, (QStringList{"Home", "F1", "F3", "F5", "F9", "Page Up / Page Down", ", / .", "F11", "Y", "F12",
                               "Left-drag", "Wheel"}));
}

QTEST_APPLESS_MAIN(KeyHelpTest)
#include "KeyHelpTest.moc"
