// One clock per session on Unix: the clock holds an flock on a lock file in
// XDG_RUNTIME_DIR for its whole life and listens on a Unix-domain socket
// beside it. The kernel drops the lock when the process dies, so a socket
// left by a crashed clock never blocks the next start, and two starts at
// once cannot both win the lock.
#include "singleinstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A later start gives up on the running clock after this long, whatever
// it was waiting for: the connection, its request or the answer.
constexpr int AnswerTimeoutMs = 10000;
constexpr qsizetype MaxRequest = 4096;
// A later start sends its request at once; a connection that sends none
// in this time is not one.
constexpr int RequestTimeoutMs = 3000;
// Later starts served at once; more are refused, so that a flood of idle
// connections cannot take every descriptor.
constexpr int MaxConnections = 8;
// With no descriptor left, the listener is not watched for this long, so
// that its pending connections do not wake the clock in a busy loop.
constexpr int NoDescriptorPauseMs = 500;

void complain(const QByteArray &message)
{
    std::fprintf(stderr, "timer: %s\n", message.constData());
    std::fflush(stderr);
}

// Why a folder cannot keep the session's lock and socket, or empty when it
// can: it must be a real folder of this user's that no one else may enter.
QByteArray unfitFolder(const QByteArray &dir)
{
    struct stat st;
    if (lstat(dir.constData(), &st) != 0)
        return "it cannot be made";
    if (S_ISLNK(st.st_mode))
        return "it is a symbolic link";
    if (!S_ISDIR(st.st_mode))
        return "it is not a folder";
    if (st.st_uid != getuid())
        return "it belongs to another user";
    if ((st.st_mode & 077) != 0)
        return "other users may use it";
    return {};
}

QByteArray privateFolder(const QByteArray &dir)
{
    mkdir(dir.constData(), 0700);
    return dir;
}

// XDG_RUNTIME_DIR is the user's, mode 0700, and ends with the session;
// without it a folder of our own in the temporary directory stands in,
// or, where someone else holds that name, one in the user's cache folder.
QByteArray runtimeDir()
{
    const QByteArray dir = qgetenv("XDG_RUNTIME_DIR");
    if (!dir.isEmpty())
        return dir;
    const QByteArray temp = privateFolder(QDir::tempPath().toLocal8Bit() + "/tarvenel-timer-"
                                          + QByteArray::number(uint(getuid())));
    const QByteArray why = unfitFolder(temp);
    if (why.isEmpty())
        return temp;
    const QString cacheHome = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (!cacheHome.isEmpty()) {
        QDir().mkpath(cacheHome);
        const QByteArray cache = privateFolder(QFile::encodeName(cacheHome) + "/tarvenel-timer");
        if (unfitFolder(cache).isEmpty()) {
            complain("XDG_RUNTIME_DIR is not set and " + temp + " cannot be used (" + why
                     + "), so " + cache + " keeps this session to one clock instead.");
            return cache;
        }
    }
    complain("a second clock cannot be prevented in this session: XDG_RUNTIME_DIR is not set and "
             + temp + " cannot be used (" + why + ").");
    return {};
}

bool fillAddress(sockaddr_un *address, const QByteArray &path)
{
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof address->sun_path)
        return false;
    std::memcpy(address->sun_path, path.constData(), size_t(path.size()));
    return true;
}

bool waitFor(int fd, short events, const QDeadlineTimer &deadline)
{
    pollfd wanted = { fd, events, 0 };
    for (;;) {
        const int ready = ::poll(&wanted, 1, int(deadline.remainingTime()));
        if (ready < 0 && errno == EINTR)
            continue;
        return ready > 0;
    }
}

bool sendAll(int fd, const QByteArray &data, const QDeadlineTimer &deadline)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = send(fd, data.constData() + done, size_t(data.size() - done), MSG_NOSIGNAL);
        if (n < 0 && (errno == EINTR || (errno == EAGAIN && waitFor(fd, POLLOUT, deadline))))
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// A token carries no line breaks or spaces by its protocols; anything else
// is dropped rather than let it split the request.
QByteArray tokenLine(const char *name, const QByteArray &value)
{
    for (char c : value) {
        if (uchar(c) <= ' ' || c == 0x7f)
            return {};
    }
    return value.isEmpty() ? QByteArray() : QByteArray(name) + ' ' + value + '\n';
}

// One later start talking to the running clock.
class Connection : public QObject
{
public:
    Connection(int fd, SingleInstance *instance, int *open)
        : QObject(instance), m_fd(fd), m_instance(instance), m_open(open),
          m_notifier(fd, QSocketNotifier::Read)
    {
        ++*m_open;
        connect(&m_notifier, &QSocketNotifier::activated, this, &Connection::readable);
        QTimer::singleShot(RequestTimeoutMs, this, [this] {
            m_notifier.setEnabled(false);
            deleteLater();
        });
    }

    ~Connection() override
    {
        ::close(m_fd);
        --*m_open;
    }

private:
    void readable()
    {
        char buffer[512];
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            return;
        if (n <= 0 || m_request.size() + n > MaxRequest) {
            deleteLater();
            m_notifier.setEnabled(false);
            return;
        }
        m_request.append(buffer, n);
        // The request ends with an empty line.
        if (!m_request.startsWith('\n') && !m_request.contains("\n\n"))
            return;
        m_notifier.setEnabled(false);
        QByteArray startupId, activationToken;
        const QList<QByteArray> lines = m_request.split('\n');
        for (const QByteArray &line : lines) {
            const qsizetype space = line.indexOf(' ');
            const QByteArray name = line.left(space), value = line.mid(space + 1);
            if (name == "DESKTOP_STARTUP_ID")
                startupId = value;
            else if (name == "XDG_ACTIVATION_TOKEN")
                activationToken = value;
        }
        // The socket never fills with three bytes: no wait.
        sendAll(m_fd, "OK\n", QDeadlineTimer(0));
        deleteLater();
        emit m_instance->activationRequested(startupId, activationToken);
    }

    int m_fd;
    SingleInstance *m_instance;
    int *m_open;
    QSocketNotifier m_notifier;
    QByteArray m_request;
};

class UnixSingleInstance : public SingleInstanceBackend
{
public:
    explicit UnixSingleInstance(const QByteArray &key)
    {
        const QByteArray dir = runtimeDir();
        if (!dir.isEmpty()) {
            m_lockPath = dir + '/' + key + ".lock";
            m_socketPath = dir + '/' + key + ".socket";
        }
    }

    ~UnixSingleInstance() override
    {
        if (m_listener >= 0) {
            ::close(m_listener);
            ::unlink(m_socketPath.constData());
        }
        if (m_lock >= 0)
            ::close(m_lock);
    }

    SingleInstance::Claim claim(const QByteArray &startupId,
                                const QByteArray &activationToken) override
    {
        if (m_lockPath.isEmpty())
            return SingleInstance::First;
        m_lock = ::open(m_lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_lock < 0)
            return SingleInstance::First;

        const QByteArray request = tokenLine("DESKTOP_STARTUP_ID", startupId)
                + tokenLine("XDG_ACTIVATION_TOKEN", activationToken) + '\n';
        // The holder of the lock may still be starting: it listens only a
        // moment after it has won, so a refused connection is tried again.
        const QDeadlineTimer deadline(AnswerTimeoutMs);
        while (!deadline.hasExpired()) {
            if (::flock(m_lock, LOCK_EX | LOCK_NB) == 0)
            {
                // Without a socket later starts find no one to answer them
                // and say so; this clock runs all the same.
                bind();
                return SingleInstance::First;
            }
            switch (handOver(request, deadline)) {
            case Answered:
                return SingleInstance::HandedOver;
            case NotListening:
                QThread::msleep(20);
                break;
            case Silent:
                return SingleInstance::NoAnswer;
            }
        }
        return SingleInstance::NoAnswer;
    }

    void listen(SingleInstance *instance) override
    {
        if (m_listener < 0)
            return;
        m_instance = instance;
        m_notifier = new QSocketNotifier(m_listener, QSocketNotifier::Read, instance);
        QObject::connect(m_notifier, &QSocketNotifier::activated, instance, [this] { accept(); });
    }

private:
    enum HandOver { Answered, NotListening, Silent };

    // Listening starts before the event loop does; a later start's request
    // simply waits in the socket's backlog until then.
    bool bind()
    {
        sockaddr_un address;
        if (!fillAddress(&address, m_socketPath))
            return false;
        ::unlink(m_socketPath.constData());
        m_listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (m_listener < 0)
            return false;
        if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
                || ::listen(m_listener, 16) != 0) {
            ::close(m_listener);
            m_listener = -1;
            return false;
        }
        return true;
    }

    // Every step waits on the socket for what is left of the deadline: a
    // clock that takes no connections (its backlog full) or sends no answer
    // holds this start no longer than that.
    HandOver handOver(const QByteArray &request, const QDeadlineTimer &deadline) const
    {
        sockaddr_un address;
        if (!fillAddress(&address, m_socketPath))
            return Silent;
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0)
            return Silent;
        if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
            && !(errno == EINPROGRESS && waitFor(fd, POLLOUT, deadline))) {
            ::close(fd);
            return NotListening;
        }
        HandOver result = Silent;
        if (sendAll(fd, request, deadline)) {
            QByteArray answer;
            while (!answer.contains('\n') && waitFor(fd, POLLIN, deadline)) {
                char buffer[16];
                const ssize_t n = ::read(fd, buffer, sizeof buffer);
                if (n < 0 && (errno == EINTR || errno == EAGAIN))
                    continue;
                if (n <= 0)
                    break;
                answer.append(buffer, n);
            }
            if (answer.startsWith("OK\n"))
                result = Answered;
            else if (answer.isEmpty() && !deadline.hasExpired())
                // Closed without an answer: that clock is on its way out, or
                // it refused us for having too many at once.
                result = NotListening;
        }
        ::close(fd);
        return result;
    }

    void accept()
    {
        for (;;) {
            const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd < 0) {
                if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                    pauseListening();
                return;
            }
            if (m_open >= MaxConnections)
                ::close(fd);
            else
                new Connection(fd, m_instance, &m_open);
        }
    }

    void pauseListening()
    {
        m_notifier->setEnabled(false);
        QTimer::singleShot(NoDescriptorPauseMs, m_notifier, [notifier = m_notifier] {
            notifier->setEnabled(true);
        });
    }


    QByteArray m_lockPath;
    QByteArray m_socketPath;
    int m_lock = -1;
    int m_listener = -1;
    SingleInstance *m_instance = nullptr;
    QSocketNotifier *m_notifier = nullptr;
    // Connections being served now.
    int m_open = 0;
};

} // namespace

SingleInstanceBackend *createSingleInstanceBackend(const QByteArray &key)
{
    return new UnixSingleInstance(key);
}
