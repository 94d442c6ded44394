#ifndef GLASS_H
#define GLASS_H

#include <QtGui/qwindowdefs.h>
#include <QtGui/QColor>

#if defined(GLASS_LIBRARY)
#  define GLASS_EXPORT Q_DECL_EXPORT
#else
#  define GLASS_EXPORT Q_DECL_IMPORT
#endif

class QCheckBox;
class QLabel;
class QPaintEvent;
class QString;
class QWidget;

enum GLASS_MODE {
    GLASS_NONE = 0,
    GLASS_BLURBEHIND = 1,
    GLASS_SHEET = 2
};

// The window modes that a windowing system may not honour at all.
enum GLASS_FEATURE {
    GLASS_TOPMOST = 0,      // SetTopmost, and the topmost part of SetTransparent
    GLASS_CLICKTHROUGH = 1, // the click-through part of SetTransparent
    GLASS_OPACITY = 2       // a top-level window's own opacity
};

// An empty handle onto the window-effects state shared by the whole process.
// The first live handle loads what the platform offers, the last one frees it,
// so a short-lived handle around a paint event costs next to nothing while the
// window keeps its own handle alive. The window argument is the top-level
// window's native id (the HWND on Windows).
class GLASS_EXPORT Glass
{
public:
    Glass();
    Glass(const Glass &other);
    ~Glass();
    Glass &operator=(const Glass &other);

    bool IsCompositionEnabled();
    void SetGlass(WId hwnd, GLASS_MODE mode);
    void SetTopmost(WId hwnd, bool topmost);
    void SetTransparent(WId hwnd, bool topmost, bool transparent);
    // False where the windowing system ignores the mode, so that the window
    // can say so instead of doing nothing.
    bool IsSupported(GLASS_FEATURE feature);

    void DrawString(QLabel *label, QPaintEvent *event);
    void DrawString(QCheckBox *checkBox, QPaintEvent *event);

    static void SetBkColor(QColor color);

private:
    void DrawString(QWidget *widget, const QString &text, QPaintEvent *event);
};

#endif
