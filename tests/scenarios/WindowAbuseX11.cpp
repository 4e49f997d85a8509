// The window manager's side of a close box, kept apart from the tests because Xlib's macros
// (None, Bool, Status, ...) clash with Qt's names.

#include <QWidget>

#include <X11/Xlib.h>

// Sends the window the WM_DELETE_WINDOW message a window manager sends when the user presses the
// window's close box. The window system delivers it to Qt like any other event, so Qt's own
// rules (a window blocked by a modal box ignores it) apply. Returns false without a display.
bool pressCloseBox(QWidget* window)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    const Window target = Window(window->winId());
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = target;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(display, target, False, NoEventMask, &event);
    XFlush(display);
    XCloseDisplay(display);
    return sent != 0;
}
