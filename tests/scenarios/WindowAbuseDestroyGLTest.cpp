// The main window destroyed while its own error box is open, from inside that box's event
// loop. A process of its own: should the window's error report not survive this, the crash
// takes only this test with it.

#include "StartedForm.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

class WindowAbuseDestroyGLTest : public QObject {
    Q_OBJECT
private slots:
    void destroyedWhileErrorBoxOpen();
};

void WindowAbuseDestroyGLTest::destroyedWhileErrorBoxOpen()
{
    // Keeping the window's own report: a modal message box.
    StartedForm started(StartedForm::TimersRunning | StartedForm::MessageBoxes);
    std::unique_ptr<TForm1>& form = started.form;
    form->Edit1->setText(QStringLiteral("abc"));

    bool boxSeen = false;
    QTimer watcher;
    watcher.setInterval(20);
    connect(&watcher, &QTimer::timeout, this, [&] {
        if (boxSeen || !qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            return;
        boxSeen = true;
        form.reset();
    });
    watcher.start();
    // click() keeps no pointer to the button once the handler has run, so only the window's
    // own code meets its destruction.
    form->Button1->click();
    watcher.stop();
    QVERIFY(boxSeen);
    QVERIFY(!form);
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
    // The program goes on: a new window starts and draws.
    StartedForm again;
    again.form->TimerForDrawingTimer();
    QVERIFY2(again.errors.isEmpty(), qPrintable(again.errors.join('\n')));
}

QTEST_MAIN(WindowAbuseDestroyGLTest)
#include "WindowAbuseDestroyGLTest.moc"
