#include "SceneMouse.h"

#include "Camera.h"

#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>

SceneMouse::SceneMouse(QWidget* scene, Camera& camera, const float& speedFactor)
    : QObject(scene), scene_(scene), camera_(camera), speedFactor_(speedFactor)
{
    scene_->installEventFilter(this);
}

bool SceneMouse::overPanel(const QPoint& scenePos) const
{
    // A press on a label or panel that does not take it travels up to the scene; it is still
    // over that panel, not over the view.
    return scene_->childAt(scenePos) != nullptr;
}

void SceneMouse::endDrag()
{
    if (!dragging_)
        return;
    dragging_ = false;
    scene_->unsetCursor();
}

bool SceneMouse::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != scene_)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (pressTaken && pressTaken())
            return true;
        if (mouse->button() != Qt::LeftButton || overPanel(mouse->pos()))
            return false;
        dragging_ = true;
        lastPos_ = mouse->pos();
        scene_->setCursor(Qt::ClosedHandCursor);
        return true;
    }
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (!dragging_)
            return false;
        const QPoint delta = mouse->pos() - lastPos_;
        lastPos_ = mouse->pos();
        // Right turns right, as D does; up looks up, as W does. In orbit mode the camera
        // inverts both itself, which carries the eye the way the view turns.
        camera_.turnYaw(delta.x() * kDragDegreesPerPixel);
        camera_.turnPitch(-delta.y() * kDragDegreesPerPixel);
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (!dragging_ || static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
            return false;
        endDrag();
        return true;
    case QEvent::Wheel: {
        auto* wheel = static_cast<QWheelEvent*>(event);
        if (overPanel(wheel->position().toPoint()))
            return false;
        const double notches = wheel->angleDelta().y() / 120.0;
        camera_.move(notches * kWheelSpeedFactorsPerNotch * double(speedFactor_), 0.0, 0.0);
        return true;
    }
    default: return false;
    }
}
