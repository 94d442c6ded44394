// The floor of a Qt Widgets clock: one plain label whose text changes every
// second, refreshed on the same half-second timer as the timer's window.
// scripts/bench.sh runs it next to the timer; nothing else does.
#include <QApplication>
#include <QBasicTimer>
#include <QLabel>
#include <QTime>
#include <QTimerEvent>

namespace {

class BareLabel : public QLabel
{
public:
    BareLabel()
    {
        setWindowTitle(QStringLiteral("bare label"));
        refresh();
        m_timer.start(500, this);
    }

protected:
    void timerEvent(QTimerEvent *) override { refresh(); }

private:
    void refresh() { setText(QTime::currentTime().toString(QStringLiteral("hh:mm:ss"))); }

    QBasicTimer m_timer;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    BareLabel label;
    label.show();
    return app.exec();
}
