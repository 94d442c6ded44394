#ifndef DESKTOP_H
#define DESKTOP_H

#include <QByteArray>

class QWidget;

// What the desktop around the window offers, asked of the platform in use.
namespace Desktop {

// Whether the notification area reports a double click on the icon. Trays
// spoken to over D-Bus (StatusNotifierItem) report every click as a single
// activation. Ask right after the first tray icon is made: the toolkit
// chooses the kind of tray once, when it makes it.
bool trayReportsDoubleClicks();

// Brings a top-level window to the front for another start of the program,
// passing on the tokens the window system gave that start (an X11 startup
// id, a Wayland activation token) so that the window may take the focus.
// Shows the window if it is hidden.
void bringToFront(QWidget *window, const QByteArray &startupId, const QByteArray &activationToken);

} // namespace Desktop

#endif
