#pragma once

#include "FormState.h"
#include "FrameStep.h"
#include "TickCatchUp.h"

#include <QRect>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class GlPanel;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTimer;
class FrameTimeGraph;
class SceneMouse;
class ViewOverlays;
namespace Ui {
class MainForm;
}

// The main window: its controls (laid out by MainForm.ui), its state record (TForm1State),
// the start-up sequence and the event handlers. It turns keys, the mouse and the controls into
// state and calls the scene (Frame.h, SceneStartup.h) to start, step, draw and present; it
// makes no GL call of its own.
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

    // The whole picture the drawing panel presents, GL context current: the scene along view
    // (drawScene; the sky hidden while K is held), then the overlays shown now.
    void drawFrame(const SceneView& view);
    // The last frame's scene drawn again as it was drawn, GL context current, then the overlays
    // shown now when withOverlays (leaving out a message that is a screenshot's own note); none
    // drawn yet, the scene along the camera. For pictures read back from the frame.
    void drawLastFrameAgain(bool withOverlays);
    // The view of the last frame presented; the camera's before the first.
    SceneView lastView() const { return lastFrame_ ? lastFrame_->view : viewAlong(camera); }
    // The record of the last frame step that drew, if one has.
    const std::optional<FrameRecord>& lastFrame() const { return lastFrame_; }

    // The millisecond tick counter: unsigned 32 bits, wrapping. Tests replace it.
    std::function<std::uint32_t()> tickCount;

    // Shows an error that escaped a handler. The default opens a modal QMessageBox::critical;
    // tests replace it to collect the messages.
    std::function<void(const QString&)> showError;

    // Runs one event handler: an exception that escapes it is shown with showError and the
    // handler's remaining steps are skipped. While an error is being shown, further errors
    // are not (a failing 10 ms timer must not stack a box per tick).
    void runHandler(const std::function<void()>& handler);

    // Actions of the keys the key table leaves free and of the mouse. Each key still sets and
    // clears its KeyState flag through FormKeyDown and FormKeyUp.
    //
    // Home: the camera back where the start-up placed it, out of orbit.
    void goHome();
    // F5: the four layer textures read again (reloadLandscapeTextures); a build that had stopped
    // at a file is finished. Shows that it did, or lets the file's error escape, with the line
    // of the missing ground kept up to date.
    void reloadTextures();
    // F11: full screen or back; the projection follows the panel's new size.
    void toggleFullScreen();
    // Y: the classic or the physical sky.
    void toggleSky();
    // F9: starts recording the camera path into the screenshot folder, or stops and shows
    // "Saved path <file>".
    void toggleRecording();
    // Records the frame steps from the next on into the file at path (which must not exist);
    // throws ViewerError when it cannot be made. A line that cannot be written stops the
    // recording at that frame and is reported (showError). Closing the window stops it too.
    void startRecording(const QString& path);
    bool recordingPath() const { return recorder_.recording(); }
    QString recordingFile() const { return recorder_.fileName(); }
    // Shows "Saved <path>" for a picture F12 saved; such a note is left out of the next one.
    void showScreenshotNote(const QString& path);
    // Plays poses back, one a frame step, after stepping the bump to the path's start; Home or
    // a flight key ends it in the window. While it plays, the clock is the path's.
    void playPath(std::vector<PathPose> poses, PathPlayback::Mode mode);
    bool playingPath() const { return playback_.has_value(); }
    // F3: the frame-time graph over the view, or hidden again (null while hidden).
    void toggleFrameGraph();
    FrameTimeGraph* frameGraph() const { return frameGraph_.get(); }
    // Page Up / Page Down: the clock half an hour forward or back (TWorld::advance, goBack),
    // frozen or not; the "Time: " read-out follows at once.
    void stepHour(float hours);
    // , / .: the view distance times factor, held within 50 to 4000 world units, and a message
    // naming it; the next frame applies it.
    void scaleViewDistance(double factor);
    // The modes that are on (orbit, frozen time, fast time, horizontal move), as the line at
    // the bottom-left of the view names them; empty when none is on.
    QString modeLineText() const;
    void updateModeLine();
    // Every key counts as released: the window lost the activation, so it would not see the
    // key-up events. A drag of the mouse ends too.
    void releaseHeldKeys();

    // TimerBigBen's wiring: one call of TimerBigBenTimer for every 10 ms tick that fell due
    // since the last, at most one second's worth (100) at once.
    void deliverDueBigBenTicks();
    // One step of simulated time: the clock advances by hours (unless time is frozen) and the
    // "Time: " read-out shows the hour. TimerBigBenTimer is this step at the tick's rate.
    void advanceClock(float hours);
    // Counts the due ticks from tickCount(); started with the timers.
    TickCatchUp bigBenCatchUp{10, 100};

    // The help table, the message and the mode line over the view.
    std::unique_ptr<ViewOverlays> overlays;
    SceneMouse* sceneMouse = nullptr;

    // True once start-up has run (completed or stopped at an error); the timers run from then.
    // A panel that gets no GL context (GlPanel::failure) never starts: the failure is shown,
    // the timers stop and the window closes, and the program ends with status 1.
    bool started() const { return started_; }
    // The error that stopped the start-up (a texture file that cannot be read), if one did.
    std::optional<QString> startupError() const { return startupError_; }

signals:
    // After every frame step of TimerForDrawingTimer, also one that drew nothing because the
    // surface was not shown (GlPanel::surfaceVisible).
    void frameStepped();
    // After every frame step that drew and presented a frame, before frameStepped.
    void frameDrawn();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A closed window steps no frame and no clock: its timers stop, since the window system
    // may take the drawing surface away with it.
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void connectHandlers();
    void firstShow();
    void reportError(const QString& message);
    void endWithoutContext(const QString& message);
    void placeCameraAndControls();
    bool keyHeld(std::uint16_t key) const { return KeyState[key]; }
    void drawOverlays(bool withMessage);
    void showSceneSettings();
    void freeKeyDown(std::uint16_t key);
    void showGroundMissing(const QString& reason);
    void showClock();
    void layoutOverlays();

    std::unique_ptr<Ui::MainForm> ui;
    bool started_ = false;
    bool showingError_ = false;
    std::optional<QString> startupError_;
    QRect normalGeometry_;                 // the window's place before full screen
    QSize waylandNormalSize_;              // on Wayland, the window's size before full screen,
    bool waylandComingBack_ = false;       // whether it is yet to come back to it,
    bool waylandPutBack_ = false;          // and whether it was put back (resizeEvent)
    std::optional<FrameRecord> lastFrame_; // the last frame step that drew
    QString screenshotNote_;               // the message F12 showed last
    PathRecorder recorder_;
    std::optional<PathPlayback> playback_;
    std::unique_ptr<FrameTimeGraph> frameGraph_;
};

// Simulated hours per tick of TimerBigBen (10 ms): kHoursPerTick always, plus
// kFastHoursPerTick while P is held. The sum is formed in double and passed on as float.
constexpr double kHoursPerTick = double(0.005f);
constexpr double kFastHoursPerTick = 0.2;
