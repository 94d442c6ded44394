#ifndef SINGLEINSTANCE_H
#define SINGLEINSTANCE_H

#include <QByteArray>
#include <QObject>

#include <memory>

class SingleInstanceBackend;

// One clock per user session. The first start claims the session before the
// application object exists; a later start hands its activation over to the
// running clock and ends. One backend per platform.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    enum Claim {
        First,     // this process is the clock
        HandedOver, // a running clock took the activation: exit 0
        NoAnswer   // a clock holds the session but did not answer
    };

    // key names the session-wide objects; it is the application id.
    explicit SingleInstance(const QByteArray &key);
    ~SingleInstance() override;

    // Reads what the window system gave this start to let a window take the
    // focus (a startup id, an activation token), so call it first.
    Claim claim();

    // The first clock starts answering later starts; needs the application.
    void listen();

signals:
    // A later start asked for the window. The tokens are the ones that start
    // was given, empty when it had none.
    void activationRequested(const QByteArray &startupId, const QByteArray &activationToken);
    // A program that replaces or removes the clock's files asked it to end
    // at once (Windows' installer and uninstaller; Windows cannot replace a
    // running program's files).
    void quitRequested();

private:
    std::unique_ptr<SingleInstanceBackend> m_backend;
};

// What a platform offers for it.
class SingleInstanceBackend
{
public:
    virtual ~SingleInstanceBackend() = default;
    virtual SingleInstance::Claim claim(const QByteArray &startupId,
                                        const QByteArray &activationToken) = 0;
    virtual void listen(SingleInstance *instance) = 0;
};

SingleInstanceBackend *createSingleInstanceBackend(const QByteArray &key);

#endif
