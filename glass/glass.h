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

    void DrawString(QLabel *label, QPaintEvent *event);
    void DrawString(QCheckBox *checkBox, QPaintEvent *event);

    static void SetBkColor(QColor color);

private:
    void DrawString(QWidget *widget, const QString &text, QPaintEvent *event);
};

#endif
