#pragma once

#include <QObject>
#include <QPoint>
#include <functional>

struct Camera;
class QWidget;

// The mouse over the scene, as an event filter on the drawing panel: a left-button drag turns
// the camera, the wheel moves it forward and backward. Events over the panels that lie on the
// scene (read-outs, sliders, overlays) are not the scene's and are left alone.
//
// Both act through the camera's own operations, so orbit mode behaves as it does for the keys:
// a drag carries the eye around the orbit point, the wheel zooms, clamped at the minimum.
class SceneMouse : public QObject {
    Q_OBJECT
public:
    // degrees of turn per pixel of drag, both axes
    static constexpr double kDragDegreesPerPixel = 0.2;
    // one wheel notch (120 eighths of a degree) moves this many speed factors
    static constexpr double kWheelSpeedFactorsPerNotch = 10.0;

    // scene: the widget whose events are filtered and whose cursor shows the drag. speedFactor
    // is read at every wheel event. Both must outlive this object.
    SceneMouse(QWidget* scene, Camera& camera, const float& speedFactor);

    bool dragging() const { return dragging_; }
    // Ends a drag: the cursor is restored. The release ends it (the press grabbed the mouse, so
    // the release comes also outside the window); the window ends it when it loses the
    // activation, as a box or another window then takes the mouse.
    void endDrag();

    // Called on a left or right press before anything else; returning true takes the press
    // (the window uses it to close its help panel with a click).
    std::function<bool()> pressTaken;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool overPanel(const QPoint& scenePos) const;

    QWidget* scene_;
    Camera& camera_;
    const float& speedFactor_;
    bool dragging_ = false;
    QPoint lastPos_;
};
