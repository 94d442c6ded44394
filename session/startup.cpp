#include "startup.h"

#include <QList>
#include <QStringList>
#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A message of the toolkit's, kept while the application object is built.
struct HeldMessage
{
    QtMsgType type;
    const char *file;
    int line;
    const char *function;
    const char *category;
    QString text;
};

QList<HeldMessage> *s_held = nullptr;
QtMessageHandler s_previous = nullptr;
QByteArray s_platforms;

QByteArray namedPlatform(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (arg[0] == '-' && arg[1] == '-')
            ++arg;
        if (std::strcmp(arg, "-platform") == 0 && i + 1 < argc)
            return argv[i + 1];
        if (std::strncmp(arg, "-platform=", 10) == 0)
            return arg + 10;
    }
    return qgetenv("QT_QPA_PLATFORM");
}

// The platform plugins the toolkit found, from the list its fatal message
// gives; empty when the message has none.
QList<QByteArray> availablePlatforms(const QString &fatal)
{
    const QLatin1String intro("Available platform plugins are:");
    const qsizetype at = fatal.indexOf(intro);
    if (at < 0)
        return {};
    QList<QByteArray> names;
    const QStringList listed = fatal.mid(at + intro.size()).section(QLatin1Char('.'), 0, 0)
                                       .split(QLatin1Char(','));
    for (const QString &name : listed)
        names.append(name.trimmed().toLatin1());
    return names;
}

// One sentence for why no window could be shown and what to do about it.
QByteArray explanation(const QString &fatal)
{
    const QByteArray display = qgetenv("DISPLAY");
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    const QList<QByteArray> available = availablePlatforms(fatal);
    bool wantsX = s_platforms.isEmpty(), wantsWayland = false, wantsMissing = false;
    for (const QByteArray &choice : s_platforms.split(';')) {
        const QByteArray name = choice.split(':').constFirst();
        if (name.isEmpty())
            continue;
        if (!available.isEmpty() && !available.contains(name))
            wantsMissing = true;
        else if (name == "xcb")
            wantsX = true;
        else if (name.startsWith("wayland"))
            wantsWayland = true;
        else
            wantsMissing = true;
    }

    if (wantsMissing && !wantsX && !wantsWayland)
        return "timer: the window system \"" + s_platforms
                + "\" is not available here; leave out -platform and QT_QPA_PLATFORM, "
                  "or name one that is installed, such as xcb or wayland.";
    if (display.isEmpty() && wayland.isEmpty() && !(wantsWayland && !wantsX))
        return "timer: there is no display to show the clock on (DISPLAY is not set); "
               "start it from a desktop session, or set DISPLAY to a running X server.";
    if (wantsX && !display.isEmpty())
        return "timer: the X display \"" + display
                + "\" named by DISPLAY cannot be reached; start the clock from a desktop "
                  "session, or set DISPLAY to a running X server.";
    if (wantsX)
        return "timer: there is no X display to show the clock on (DISPLAY is not set); "
               "start it from a desktop session, or set DISPLAY to a running X server.";
    if (wayland.isEmpty())
        return "timer: there is no Wayland display to show the clock on (WAYLAND_DISPLAY is "
               "not set); start it from a desktop session, or leave out -platform.";
    return "timer: the Wayland display \"" + wayland
            + "\" named by WAYLAND_DISPLAY cannot be reached; start the clock from a "
              "desktop session, or set WAYLAND_DISPLAY to a running compositor.";
}

void holdMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtFatalMsg) {
        // The toolkit aborts after this; the user gets the reason instead of
        // its advice to reinstall, and no core dump.
        const QByteArray sentence = explanation(text) + '\n';
        std::fwrite(sentence.constData(), 1, size_t(sentence.size()), stderr);
        std::fflush(stderr);
        std::_Exit(1);
    }
    s_held->append({ type, context.file, context.line, context.function, context.category, text });
}

} // namespace

StartupGuard::StartupGuard(int argc, char **argv)
{
    s_platforms = namedPlatform(argc, argv);
    if (s_platforms.isEmpty()) {
        s_platforms = offeredPlatforms();
        if (!s_platforms.isEmpty())
            qputenv("QT_QPA_PLATFORM", s_platforms);
    }
    s_held = new QList<HeldMessage>;
    s_previous = qInstallMessageHandler(holdMessage);
}

StartupGuard::~StartupGuard()
{
    started();
}

void StartupGuard::started()
{
    if (!s_held)
        return;
    qInstallMessageHandler(s_previous);
    const QList<HeldMessage> held = std::move(*s_held);
    delete s_held;
    s_held = nullptr;
    for (const HeldMessage &message : held) {
        const QMessageLogContext context(message.file, message.line, message.function,
                                         message.category);
        qt_message_output(message.type, context, message.text);
    }
}
