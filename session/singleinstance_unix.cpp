// One clock per session on Unix: the clock holds an flock on a lock file in
// XDG_RUNTIME_DIR for its whole life and listens on a Unix-domain socket
// beside it. The kernel drops the lock when the process dies, so a socket
// left by a crashed clock never blocks the next start, and two starts at
// once cannot both win the lock.
#include "singleinstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int AnswerTimeoutMs = 10000;
constexpr qsizetype MaxRequest = 4096;

// XDG_RUNTIME_DIR is the user's, mode 0700, and ends with the session;
// without it a folder of our own in the temporary directory stands in.
QByteArray runtimeDir()
{
    const QByteArray dir = qgetenv("XDG_RUNTIME_DIR");
    if (!dir.isEmpty())
        return dir;
    const QByteArray own = QDir::tempPath().toLocal8Bit() + "/tarvenel-timer-"
            + QByteArray::number(uint(getuid()));
    mkdir(own.constData(), 0700);
    struct stat st;
    if (lstat(own.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()
            || (st.st_mode & 077) != 0)
        return {};
    return own;
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

bool writeAll(int fd, const QByteArray &data)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = send(fd, data.constData() + done, size_t(data.size() - done), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
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
    Connection(int fd, SingleInstance *instance)
        : QObject(instance), m_fd(fd), m_instance(instance), m_notifier(fd, QSocketNotifier::Read)
    {
        connect(&m_notifier, &QSocketNotifier::activated, this, &Connection::readable);
    }

    ~Connection() override { ::close(m_fd); }

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
        writeAll(m_fd, "OK\n");
        deleteLater();
        emit m_instance->activationRequested(startupId, activationToken);
    }

    int m_fd;
    SingleInstance *m_instance;
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
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < AnswerTimeoutMs) {
            if (::flock(m_lock, LOCK_EX | LOCK_NB) == 0)
            {
                // Without a socket later starts find no one to answer them
                // and say so; this clock runs all the same.
                bind();
                return SingleInstance::First;
            }
            switch (handOver(request)) {
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
        auto *notifier = new QSocketNotifier(m_listener, QSocketNotifier::Read, instance);
        QObject::connect(notifier, &QSocketNotifier::activated, instance, [this] { accept(); });
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

    HandOver handOver(const QByteArray &request) const
    {
        sockaddr_un address;
        if (!fillAddress(&address, m_socketPath))
            return Silent;
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return Silent;
        if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
            ::close(fd);
            return NotListening;
        }
        HandOver result = Silent;
        if (writeAll(fd, request)) {
            QByteArray answer;
            QElapsedTimer waited;
            waited.start();
            pollfd wanted = { fd, POLLIN, 0 };
            while (!answer.contains('\n') && waited.elapsed() < AnswerTimeoutMs) {
                const int ready = ::poll(&wanted, 1, int(AnswerTimeoutMs - waited.elapsed()));
                if (ready < 0 && errno == EINTR)
                    continue;
                if (ready <= 0)
                    break;
                char buffer[16];
                const ssize_t n = ::read(fd, buffer, sizeof buffer);
                if (n <= 0)
                    break;
                answer.append(buffer, n);
            }
            if (answer.startsWith("OK\n"))
                result = Answered;
            else if (answer.isEmpty() && waited.elapsed() < AnswerTimeoutMs)
                // Closed without an answer: that clock is on its way out.
                result = NotListening;
        }
        ::close(fd);
        return result;
    }

    void accept()
    {
        for (;;) {
            const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd < 0)
                return;
            new Connection(fd, m_instance);
        }
    }

    QByteArray m_lockPath;
    QByteArray m_socketPath;
    int m_lock = -1;
    int m_listener = -1;
    SingleInstance *m_instance = nullptr;
};

} // namespace

SingleInstanceBackend *createSingleInstanceBackend(const QByteArray &key)
{
    return new UnixSingleInstance(key);
}
