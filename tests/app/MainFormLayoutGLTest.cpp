// The window as its description lays it out, read from the live form before it is shown.

#include "GlPanel.h"
#include "MainForm.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

class MainFormLayoutGLTest : public QObject {
    Q_OBJECT
private slots:
    void window();
    void controls_data();
    void controls();
    void trackBars();
    void editAndButton();
    void timers();
    void stateRecordDefaults();
};

void MainFormLayoutGLTest::window()
{
    TForm1 form;
    QCOMPARE(form.windowTitle(), QStringLiteral("Test"));
    QCOMPARE(form.size(), QSize(1012, 614));
    QCOMPARE(form.pos(), QPoint(221, 112));
    QCOMPARE(form.font().pixelSize(), 11);
    QCOMPARE(form.Label7->font().pixelSize(), 11);
    QCOMPARE(form.Panel1->parentWidget(), &form);
    QCOMPARE(form.Panel1->geometry(), QRect(0, 0, 1012, 614));
    QCOMPARE(form.Panel1->focusPolicy(), Qt::NoFocus);
    // The drawing panel fills the client area and follows it.
    form.resize(800, 500);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTRY_COMPARE(form.Panel1->geometry(), QRect(0, 0, 800, 500));
}

void MainFormLayoutGLTest::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("caption");
    QTest::newRow("Panel2") << "Panel2"
                            << "Panel1" << QRect(0, 0, 89, 17) << "FPS:";
    QTest::newRow("Panel3") << "Panel3"
                            << "Panel1" << QRect(0, 16, 89, 17) << "Time:";
    QTest::newRow("Panel4") << "Panel4"
                            << "Panel1" << QRect(0, 32, 89, 201) << "";
    QTest::newRow("Label1") << "Label1"
                            << "Panel4" << QRect(8, 0, 8, 13) << "R";
    QTest::newRow("Label2") << "Label2"
                            << "Panel4" << QRect(40, 0, 8, 13) << "G";
    QTest::newRow("Label3") << "Label3"
                            << "Panel4" << QRect(72, 0, 7, 13) << "B";
    QTest::newRow("TrackBar1") << "TrackBar1"
                               << "Panel4" << QRect(0, 16, 25, 169) << "";
    QTest::newRow("TrackBar2") << "TrackBar2"
                               << "Panel4" << QRect(32, 16, 25, 169) << "";
    QTest::newRow("TrackBar3") << "TrackBar3"
                               << "Panel4" << QRect(64, 16, 25, 169) << "";
    QTest::newRow("Label4") << "Label4"
                            << "Panel4" << QRect(0, 184, 6, 13) << "0";
    QTest::newRow("Label5") << "Label5"
                            << "Panel4" << QRect(32, 184, 12, 13) << "60";
    QTest::newRow("Label6") << "Label6"
                            << "Panel4" << QRect(64, 184, 12, 13) << "90";
    QTest::newRow("Panel5") << "Panel5"
                            << "Panel1" << QRect(0, 232, 89, 57) << "";
    QTest::newRow("Label7") << "Label7"
                            << "Panel5" << QRect(8, 0, 73, 13) << "Atm. height (m):";
    QTest::newRow("Edit1") << "Edit1"
                           << "Panel5" << QRect(0, 16, 89, 17) << "50000";
    QTest::newRow("Button1") << "Button1"
                             << "Panel5" << QRect(0, 36, 89, 17) << "Apply";
}

void MainFormLayoutGLTest::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QRect, geometry);
    QFETCH(QString, caption);
    TForm1 form;
    auto* control = form.findChild<QWidget*>(name);
    QVERIFY(control);
    QCOMPARE(control->parentWidget()->objectName(), parent);
    if (name.startsWith(QLatin1String("Label"))) {
        // Labels size themselves to their captions: the place is the description's, the size
        // the text's, and the caption fits inside the 89-pixel column.
        QCOMPARE(control->pos(), geometry.topLeft());
        QVERIFY(control->width() >= control->fontMetrics().horizontalAdvance(caption));
        QVERIFY2(control->x() + control->fontMetrics().horizontalAdvance(caption) <= 89, qPrintable(caption));
    } else {
        QCOMPARE(control->geometry(), geometry);
    }
    if (auto* label = qobject_cast<QLabel*>(control))
        QCOMPARE(label->text(), caption);
    else if (auto* edit = qobject_cast<QLineEdit*>(control))
        QCOMPARE(edit->text(), caption);
    else if (auto* button = qobject_cast<QPushButton*>(control))
        QCOMPARE(button->text(), caption);
    if (auto* frame = qobject_cast<QFrame*>(control))
        QCOMPARE(frame->frameShape(), QFrame::NoFrame); // panels and labels have no bevel
}

void MainFormLayoutGLTest::trackBars()
{
    TForm1 form;
    const std::pair<QSlider*, int> bars[] = {{form.TrackBar1, 2}, {form.TrackBar2, 60}, {form.TrackBar3, 90}};
    for (const auto& [bar, position] : bars) {
        QCOMPARE(bar->orientation(), Qt::Vertical);
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 99);
        QCOMPARE(bar->tickPosition(), QSlider::TicksRight);
        QCOMPARE(bar->tickInterval(), 1);
        QCOMPARE(bar->value(), position);
        QVERIFY(!(bar->focusPolicy() & Qt::TabFocus)); // not a tab stop
    }
}

void MainFormLayoutGLTest::editAndButton()
{
    TForm1 form;
    QVERIFY(!form.Edit1->hasFrame());
    QCOMPARE(form.Edit1->minimumHeight(), 17);
    QCOMPARE(form.Edit1->maximumHeight(), 17);
    QVERIFY(!(form.Edit1->focusPolicy() & Qt::TabFocus));
    QVERIFY(!(form.Button1->focusPolicy() & Qt::TabFocus));
}

void MainFormLayoutGLTest::timers()
{
    TForm1 form;
    QCOMPARE(form.TimerForDrawing->interval(), 10);
    QCOMPARE(form.TimerForFPS->interval(), 1000);
    QCOMPARE(form.TimerBigBen->interval(), 10);
    // No timer runs before the window has been shown and started.
    QVERIFY(!form.TimerForDrawing->isActive());
    QVERIFY(!form.started());
}

void MainFormLayoutGLTest::stateRecordDefaults()
{
    TForm1 form;
    QCOMPARE(form.speedFactor, 0.3f);
    QCOMPARE(form.bumpColumn, 10);
    QCOMPARE(form.bumpRow, 10);
    QCOMPARE(form.bumpRadius, 3);
    QCOMPARE(form.bumpRate, 0.05f);
    QCOMPARE(form.latticeWidth, 300);
    QCOMPARE(form.latticeDepth, 300);
    QCOMPARE(form.frameCount, 0u);
    QVERIFY(!form.timeFrozen && !form.horizontalMove && !form.showNormals);
    for (bool held : form.KeyState)
        QVERIFY(!held);
    QCOMPARE(form.camera.position.x, 0.0);
    QVERIFY(!form.camera.orbiting);
    QCOMPARE(form.world.axialTilt, 23.27f);
    QCOMPARE(form.world.scattering[2], 0.8f);
    QCOMPARE(form.landscape.positions, nullptr);
}

QTEST_MAIN(MainFormLayoutGLTest)
#include "MainFormLayoutGLTest.moc"
