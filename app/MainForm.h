#pragma once

#include "FormState.h"

#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

class GlPanel;
class QFrame;
class QImage;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTimer;
namespace Ui {
class MainForm;
}

// The main window: its controls (laid out by MainForm.ui), its state record (TForm1State),
// the start-up sequence and the event handlers.
//
// The handlers below do their work and let errors escape as exceptions, so a test can call
// them directly; the window's own wiring (timers, keys, slider changes, the button) calls them
// through runHandler, which shows an escaping error in a message box and goes on.
class TForm1 : public QWidget, public TForm1State {
    Q_OBJECT
public:
    explicit TForm1(QWidget* owner = nullptr);
    ~TForm1() override;

    // Controls, in the order the window declares them.
    GlPanel* Panel1 = nullptr;
    QTimer* TimerForDrawing = nullptr;
    QLabel* Panel2 = nullptr;
    QTimer* TimerForFPS = nullptr;
    QTimer* TimerBigBen = nullptr;
    QLabel* Panel3 = nullptr;
    QFrame* Panel4 = nullptr;
    QSlider* TrackBar1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QSlider* TrackBar2 = nullptr;
    QLabel* Label3 = nullptr;
    QSlider* TrackBar3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QFrame* Panel5 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLabel* Label7 = nullptr;
    QPushButton* Button1 = nullptr;

    // Start-up, run once when the window is first shown, with the GL context current.
    void FormShow();

    // Event handlers. key is the virtual-key code (KeyCodes.h).
    void FormKeyDown(std::uint16_t& key);
    void FormKeyUp(std::uint16_t& key);
    void TimerForDrawingTimer();
    void TimerForFPSTimer();
    void TimerBigBenTimer();
    void TrackBar1Change();
    void TrackBar2Change();
    void TrackBar3Change();
    void Button1Click();
    void Edit1KeyDown(std::uint16_t& key);
    void UpdateTrackLabels();

    // What a frame looks along: gluLookAt's eye, centre and up.
    struct SceneView {
        Vec3d eye;
        Vec3d centre;
        Vec3d up;
    };
    // The frame's drawing, GL context current: clears, applies the view, and draws the sky
    // (unless K is held) and the terrain around the camera's eye, in the order
    // skyBehindGround selects; both orders give the same pixels. Changes no state of the
    // window; TimerForDrawingTimer calls it after the frame's CPU steps.
    void drawScene(const SceneView& view);

    // The millisecond tick counter: unsigned 32 bits, wrapping. Tests replace it.
    std::function<std::uint32_t()> tickCount;

    // Shows an error that escaped a handler. The default opens a modal QMessageBox::critical;
    // tests replace it to collect the messages.
    std::function<void(const QString&)> showError;

    // Runs one event handler: an exception that escapes it is shown with showError and the
    // handler's remaining steps are skipped. While an error is being shown, further errors
    // are not (a failing 10 ms timer must not stack a box per tick).
    void runHandler(const std::function<void()>& handler);

    // The window as the user sees it: the last frame with the read-out and control panels
    // over it. The frame's alpha channel is not shown on screen (the scene is opaque), so it
    // is dropped here too.
    QImage grabWindowImage();

    // True once start-up has run (completed or stopped at an error); the timers run from then.
    bool started() const { return started_; }
    // True once the world's tables exist, so the sky can be drawn.
    bool worldReady() const { return worldReady_; }

signals:
    // After every frame step of TimerForDrawingTimer, also one that drew nothing because the
    // surface was not shown (GlPanel::surfaceVisible).
    void frameDrawn();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void firstShow();
    void reportError(const QString& message);
    void placeCameraAndControls();
    bool keyHeld(std::uint16_t key) const { return KeyState[key]; }

    std::unique_ptr<Ui::MainForm> ui;
    bool started_ = false;
    bool worldReady_ = false;
    bool showingError_ = false;
    int stencilBits_ = 0;
};

// The one main window of the program.
extern TForm1* Form1;

// The millisecond tick counter of the platform: milliseconds since an arbitrary origin,
// unsigned 32 bits, wrapping after about 49.7 days.
std::uint32_t platformTickCount();
