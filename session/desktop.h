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

// Another start of the program asked for a top-level window: first, while
// the window may still be hidden, hand it the tokens the window system gave
// that start (an X11 startup id, a Wayland activation token); then, once it
// is shown, bring it to the front with them, so that it may take the focus.
void prepareActivation(QWidget *window, const QByteArray &startupId,
                       const QByteArray &activationToken);
void activate(QWidget *window, const QByteArray &startupId);

} // namespace Desktop

#endif
