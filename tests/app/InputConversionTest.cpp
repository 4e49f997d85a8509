// Text typed into the atmosphere-height field: what is a number, what is a usable height.

#include "InputConversion.h"
#include "ViewerError.h"
#include "World.h"

#include <QTest>
#include <cmath>

class InputConversionTest : public QObject {
    Q_OBJECT
private slots:
    void numbers_data();
    void numbers();
    void notNumbers_data();
    void notNumbers();
    void heights_data();
    void heights();
    void rejectedHeights_data();
    void rejectedHeights();
    void heightBoundKeepsTheSkyFinite();
};

void InputConversionTest::numbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("integer") << "50000" << 50000.0;
    QTest::newRow("blanks") << " 100000 " << 100000.0;
    QTest::newRow("exponent") << "2e5" << 200000.0;
    QTest::newRow("fraction") << "1.5" << 1.5;
    QTest::newRow("plus") << "+7" << 7.0;
    QTest::newRow("minus") << "-1" << -1.0;
    QTest::newRow("minus zero") << "-0" << 0.0;
    QTest::newRow("tiny") << "1e-45" << 1e-45;
}

void InputConversionTest::numbers()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(textToFloat(text), value);
}

void InputConversionTest::notNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "";
    QTest::newRow("letters") << "abc";
    QTest::newRow("trailing letter") << "12a";
    QTest::newRow("comma") << "1,5";
    QTest::newRow("hex") << "0x10";
    QTest::newRow("two signs") << "--5";
    QTest::newRow("sign alone") << "-";
    QTest::newRow("inner blank") << "1 000";
    QTest::newRow("non latin") << QString::fromUtf8("１２");
}

void InputConversionTest::notNumbers()
{
    QFETCH(QString, text);
    try {
        textToFloat(text);
        QFAIL("accepted");
    } catch (const ViewerError& error) {
        QCOMPARE(QString::fromStdString(error.what()),
                 QStringLiteral("'%1' is not a valid floating point value").arg(text));
    }
}

void InputConversionTest::heights_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<float>("height");
    QTest::newRow("50000") << "50000" << 50000.0f;
    QTest::newRow("100000") << "100000" << 100000.0f;
    QTest::newRow("2e5") << "2e5" << 200000.0f;
    QTest::newRow("blanks") << " 100000 " << 100000.0f;
    QTest::newRow("smallest float") << "1e-45" << 1e-45f;
    QTest::newRow("largest") << "1e18" << 1e18f;
}

void InputConversionTest::heights()
{
    QFETCH(QString, text);
    QFETCH(float, height);
    QCOMPARE(atmosphereHeightFromText(text), height);
}

void InputConversionTest::rejectedHeights_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("says");    // words the message must hold
    QTest::addColumn<QString>("saysNot"); // and words it must not
    const QString range = QStringLiteral("greater than 0 and at most 1e+18");
    const QString rounding = QStringLiteral(
        "rounds to 0 metres in single precision. The smallest usable height is 1.4e-45");
    QTest::newRow("zero") << "0" << range << "rounds";
    QTest::newRow("negative") << "-1" << range << "rounds";
    QTest::newRow("minus zero") << "-0" << range << "rounds";
    QTest::newRow("nan") << "nan" << range << "rounds";
    QTest::newRow("NaN") << "NaN" << range << "rounds";
    QTest::newRow("inf") << "inf" << range << "rounds";
    QTest::newRow("-inf") << "-inf" << range << "rounds";
    QTest::newRow("beyond double") << "1e309" << range << "rounds";
    QTest::newRow("beyond float") << "1e39" << range << "rounds";
    QTest::newRow("beyond the bound") << "2e18" << range << "rounds";
    QTest::newRow("1500 digits") << QString(1500, QLatin1Char('9')) << range << "rounds";
    // Greater than 0 as typed: the message names the rounding, not a range the value is inside.
    QTest::newRow("rounds to zero in float") << "1e-50" << rounding << "greater than 0";
    QTest::newRow("below half the smallest float") << " 7e-46 " << rounding << "greater than 0";
}

void InputConversionTest::rejectedHeights()
{
    QFETCH(QString, text);
    QFETCH(QString, says);
    QFETCH(QString, saysNot);
    try {
        atmosphereHeightFromText(text);
        QFAIL("accepted");
    } catch (const ViewerError& error) {
        const QString message = QString::fromStdString(error.what());
        // A long text is quoted by its first 32 characters, so the box stays narrower than a
        // screen.
        const QString typed = text.trimmed();
        const QString quoted = typed.size() <= 40
                                   ? typed
                                   : typed.left(32) + QStringLiteral("... (%1 more characters)").arg(typed.size() - 32);
        QVERIFY2(message.contains(QLatin1Char('\'') + quoted + QLatin1Char('\'')), qPrintable(message));
        QVERIFY2(message.size() < 200, qPrintable(message));
        QVERIFY2(message.contains(says), qPrintable(message));
        QVERIFY2(!message.contains(saysNot), qPrintable(message));
    }
}

// The largest height Apply accepts lies well inside the heights whose path products stay
// finite in single precision for the planet's radius (about 1.8e19 m), by more than a factor 10.
void InputConversionTest::heightBoundKeepsTheSkyFinite()
{
    QCOMPARE(kMaxAtmosphereHeightMetres, 1e18f);
    QVERIFY(10.0 * double(kMaxAtmosphereHeightMetres) < double(maxAtmosphereHeight(kDefaultPlanetRadiusMetres)));
}

QTEST_APPLESS_MAIN(InputConversionTest)
#include "InputConversionTest.moc"
