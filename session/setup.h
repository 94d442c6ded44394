#ifndef SETUP_H
#define SETUP_H

#include <QDateTime>
#include <QPoint>
#include <QString>

#include <array>
#include <functional>

// The panels of the window that the player can hide, top to bottom.
enum class Panel { Times, Moongate, Job, Day, Items, Merchant, Notice, Credit };
constexpr int PanelCount = 8;

// The glass steps of the window, as its tri-state box has them.
enum class GlassStep { Off, Blur, Sheet };

// What the player chose, kept between runs. A value-initialised Setup is
// the first start's: nothing hidden, no place of its own, the window's
// defaults.
struct Setup
{
    int shop = 0;
    bool hasPlace = false;
    QPoint place; // the client area's top left, in the desktop's coordinates
    bool topmost = false;
    int opacity = 100;
    GlassStep glass = GlassStep::Off;
    bool clickThrough = false;
    std::array<bool, PanelCount> hidden {};
    bool compact = false;
    bool startHidden = false; // only when started with the desktop
    QString zone; // an IANA name; empty for the PC's own zone

    bool operator==(const Setup &other) const;
};

constexpr int MinOpacity = 20;
constexpr int MaxOpacity = 100;

// The name each panel has in the file and in messages.
const char *panelKey(Panel panel);

// The player's setup in timer.ini, beside the alarms (README.md lists its
// keys). Read once at start; written only when the player changes
// something, never at a plain start or quit.
class SetupFile
{
public:
    SetupFile();

    static QString fileName();

    // What the file gave. A value it cannot use leaves that setting at its
    // default; problem() then names the file and the values, and the file
    // stays as it is until the player changes a setting.
    const Setup &setup() const { return current; }
    QString problem() const { return loadProblem; }

    // Applies the edit and saves, when it changes anything. Problems go to
    // standard error; the setup in use is changed either way.
    void change(const std::function<void(Setup &)> &edit);

private:
    Setup current;
    QString loadProblem;
    bool keepBeforeSaving = false;
    // A save cut off by a kill before this clock started left its copy.
    const QDateTime started;
};

#endif
