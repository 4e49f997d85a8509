// The atmosphere height typed into the field and applied with a click, for a table of texts a
// user may type: what is refused is reported and changes nothing, what is accepted is applied
// and the field gives up the focus; and a refusal shown in a real message box while the
// timers run stays the only box on screen.

#include "GlChecks.h"
#include "KeyCodes.h"
#include "StartedForm.h"
#include "ViewerError.h"

#include <GL/gl.h>
#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <limits>

namespace {

enum class Outcome { NotANumber, OutOfRange, Accepted };

// The refusal of a text that is not a number, word for word.
QString notANumberMessage(const QString& text)
{
    return QStringLiteral("'%1' is not a valid floating point value").arg(text);
}

const QString kRangeWords = QStringLiteral("greater than 0 and at most 1e+18");

// Clicks into the field, selects what is there and types the text over it, all through the
// window, as the keyboard delivers keys (the window's key preview sees each of them first).
void typeIntoField(TForm1& form, const QString& text)
{
    QWindow* window = form.windowHandle();
    QTest::mouseClick(form.Edit1, Qt::LeftButton);
    QTRY_VERIFY(form.Edit1->hasFocus());
    QTest::keyClick(window, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        QTest::keyClick(window, Qt::Key_Backspace);
    for (const QChar c : text)
        QTest::keyClick(window, c.toLatin1());
}

QString focusedName()
{
    QWidget* focused = QApplication::focusWidget();
    return focused ? focused->objectName() : QStringLiteral("nothing");
}

// Every message box on screen.
QList<QMessageBox*> visibleMessageBoxes()
{
    QList<QMessageBox*> boxes;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            boxes << box;
    }
    return boxes;
}

} // namespace

Q_DECLARE_METATYPE(Outcome)

class ApplyTableGLTest : public QObject {
    Q_OBJECT
private slots:
    void typedHeights_data();
    void typedHeights();
    void spaceAfterRefusalDoesNotApplyAgain();
    void refusalShowsOneBoxAtATime();
};

void ApplyTableGLTest::typedHeights_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<float>("stored");

    const float none = 0.0f;
    QTest::newRow("empty") << "" << Outcome::NotANumber << none;
    QTest::newRow("abc") << "abc" << Outcome::NotANumber << none;
    QTest::newRow("12a") << "12a" << Outcome::NotANumber << none;
    QTest::newRow("1,5") << "1,5" << Outcome::NotANumber << none;
    QTest::newRow("0") << "0" << Outcome::OutOfRange << none;
    QTest::newRow("-1") << "-1" << Outcome::OutOfRange << none;
    // Negative zero is no height above the ground either.
    QTest::newRow("-0") << "-0" << Outcome::OutOfRange << none;
    QTest::newRow("nan") << "nan" << Outcome::OutOfRange << none;
    QTest::newRow("NaN") << "NaN" << Outcome::OutOfRange << none;
    QTest::newRow("inf") << "inf" << Outcome::OutOfRange << none;
    QTest::newRow("-inf") << "-inf" << Outcome::OutOfRange << none;
    // Beyond the largest double: the conversion overflows to infinity.
    QTest::newRow("1e309") << "1e309" << Outcome::OutOfRange << none;
    // 400 digits: about 1.2e399, far beyond any double.
    QTest::newRow("400 digits") << QStringLiteral("1234567890").repeated(40) << Outcome::OutOfRange << none;
    // 1e-45 lies closer to the smallest positive float (1.4013e-45) than to 0: a positive
    // height in single precision, however thin.
    QTest::newRow("1e-45") << "1e-45" << Outcome::Accepted << std::numeric_limits<float>::denorm_min();
    // Blanks around the number are allowed.
    QTest::newRow("blanks") << " 100000 " << Outcome::Accepted << 100000.0f;
    QTest::newRow("50000") << "50000" << Outcome::Accepted << 50000.0f;
    QTest::newRow("100000") << "100000" << Outcome::Accepted << 100000.0f;
    QTest::newRow("2e5") << "2e5" << Outcome::Accepted << 200000.0f;
}

void ApplyTableGLTest::typedHeights()
{
    QFETCH(QString, text);
    QFETCH(Outcome, outcome);
    QFETCH(float, stored);

    StartedForm started;
    TForm1& form = *started.form;
    // A height the table never applies, so an accepted "100000" is seen to be stored.
    form.world.atmosphereHeight = 70000.0f;
    const GLuint texture = form.world.opticalDepthTexture;
    QVERIFY(glIsTexture(texture));

    typeIntoField(form, text);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(form.Edit1->text(), text);
    QVERIFY(form.Edit1->hasFocus());
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    form.Panel1->makeCurrent();

    if (outcome == Outcome::Accepted) {
        QVERIFY2(started.errors.isEmpty(), qPrintable(started.errors.join('\n')));
        QCOMPARE(form.world.atmosphereHeight, stored);
        QVERIFY(glIsTexture(form.world.opticalDepthTexture));
    } else {
        QCOMPARE(started.errors.size(), 1);
        const QString& message = started.errors.first();
        if (outcome == Outcome::NotANumber) {
            QCOMPARE(message, notANumberMessage(text));
        } else {
            // A long text is quoted by its first 32 characters (InputConversionTest has the rule).
            QVERIFY2(message.contains(QLatin1Char('\'') + text.trimmed().left(32)), qPrintable(message));
            QVERIFY2(message.contains(kRangeWords), qPrintable(message));
        }
        // Nothing was applied: the old height, the old table, the text as typed.
        QCOMPARE(form.world.atmosphereHeight, 70000.0f);
        QCOMPARE(form.world.opticalDepthTexture, texture);
        QVERIFY(glIsTexture(texture));
        QCOMPARE(form.Edit1->text(), text);
    }

    // Either way the program goes on.
    form.TimerForDrawingTimer();
    form.TimerBigBenTimer();
    VERIFY_NO_GL_ERROR();
    QCOMPARE(started.errors.size(), outcome == Outcome::Accepted ? 0 : 1);

    if (outcome == Outcome::Accepted) {
        // Neither the field nor the button keeps the focus: a typed digit edits nothing.
        QVERIFY(!form.Edit1->hasFocus());
        QVERIFY(!form.Button1->hasFocus());
        QTest::keyClick(started.window(), '7');
        QCOMPARE(form.Edit1->text(), text);
    } else {
        // The field keeps the focus, so the text can be corrected at once.
        QVERIFY2(form.Edit1->hasFocus(), qPrintable(QStringLiteral("the focus is on %1").arg(focusedName())));
    }
}

void ApplyTableGLTest::spaceAfterRefusalDoesNotApplyAgain()
{
    StartedForm started;
    TForm1& form = *started.form;
    typeIntoField(form, QStringLiteral("abc"));
    if (QTest::currentTestFailed())
        return;
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    QCOMPARE(started.errors.size(), 1);
    // Space flies the camera up. After the box is closed the user goes on flying: that must
    // not press Apply a second time (nor type into anything but the field).
    QTest::keyPress(started.window(), Qt::Key_Space);
    QVERIFY(form.KeyState[vk::Space]);
    QTest::keyRelease(started.window(), Qt::Key_Space);
    QVERIFY2(started.errors.size() == 1,
             qPrintable(QStringLiteral("Apply ran again (focus on %1): %2")
                            .arg(focusedName(), started.errors.join(QStringLiteral(" | ")))));
}

void ApplyTableGLTest::refusalShowsOneBoxAtATime()
{
    StartedForm started(StartedForm::TimersRunning | StartedForm::MessageBoxes);
    const std::unique_ptr<TForm1>& form = started.form;
    QVERIFY(form->TimerForDrawing->isActive());
    int framesDrawn = 0;
    connect(form.get(), &TForm1::frameDrawn, this, [&framesDrawn] { ++framesDrawn; });

    struct Seen {
        bool box = false;
        QString text;
        bool secondHandlerRan = false;
        int boxesWithSecondFailure = 0;
        bool stillModal = false;
        int framesWhileOpen = 0;
    };
    Seen seen;
    int framesAtOpen = 0;
    // Runs inside the box's own event loop: looks at the box, makes another handler fail while
    // it is open, lets the timers run under it for a while, then closes it with its button.
    QTimer watcher;
    watcher.setInterval(20);
    connect(&watcher, &QTimer::timeout, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || seen.box)
            return;
        seen.box = true;
        seen.text = box->text();
        framesAtOpen = framesDrawn;
        form->runHandler([&seen] {
            seen.secondHandlerRan = true;
            throw ViewerError("a second failure while the box is open");
        });
        QTest::qWait(50);
        seen.boxesWithSecondFailure = visibleMessageBoxes().size();
        seen.stillModal = QApplication::activeModalWidget() == box;
        QTimer::singleShot(300, box, [&seen, &framesDrawn, &framesAtOpen, box] {
            seen.framesWhileOpen = framesDrawn - framesAtOpen;
            if (QAbstractButton* ok = box->button(QMessageBox::Ok))
                ok->click();
            else
                box->reject();
        });
    });

    typeIntoField(*form, QStringLiteral("abc"));
    watcher.start();
    // The click runs the refused Apply, which shows the box and returns once it is closed.
    QTest::mouseClick(form->Button1, Qt::LeftButton);
    watcher.stop();

    QVERIFY(seen.box);
    QCOMPARE(seen.text, notANumberMessage(QStringLiteral("abc")));
    QVERIFY(seen.secondHandlerRan);
    QCOMPARE(seen.boxesWithSecondFailure, 1);
    QVERIFY(seen.stillModal);
    // The timers went on under the box.
    QVERIFY2(seen.framesWhileOpen > 0, qPrintable(QString::number(seen.framesWhileOpen)));

    // Closed: no box left, nothing applied, and the program goes on drawing.
    QTRY_VERIFY(visibleMessageBoxes().isEmpty());
    QCOMPARE(form->world.atmosphereHeight, 100000.0f);
    const int drawn = framesDrawn;
    QTRY_VERIFY(framesDrawn > drawn + 3);
    // The next refusal is shown again: the box of the first one does not block later reports.
    seen = Seen();
    watcher.start();
    form->Button1->click();
    watcher.stop();
    QVERIFY(seen.box);
    QCOMPARE(seen.boxesWithSecondFailure, 1);
    form->Panel1->makeCurrent();
    VERIFY_NO_GL_ERROR();
}

QTEST_MAIN(ApplyTableGLTest)
#include "ApplyTableGLTest.moc"
