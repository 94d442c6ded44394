// Sounds through libcanberra, the desktop's event-sound library, which
// speaks to PulseAudio (or PipeWire's Pulse server) and follows the user's
// sound settings.
#include "soundplayer.h"

#include <QDir>
#include <QSaveFile>
#include <QTemporaryDir>

#include <canberra.h>

#include <cmath>
#include <memory>

namespace {

constexpr quint32 SoundId = 1;

class CanberraPlayer : public SoundPlayer
{
public:
    ~CanberraPlayer() override
    {
        if (context)
            ca_context_destroy(context);
    }

    bool play(const Sounds::Sound &sound, int volume, QString *problem) override
    {
        if (volume <= 0)
            return true;
        // Connected at the first sound, so that a clock without alarms
        // never speaks to the sound server.
        if (!context && !open(problem))
            return false;
        const QString file = sound.file.isEmpty() ? toneFile(sound, problem) : sound.file;
        if (file.isEmpty())
            return false;
        // The library takes a volume in decibels, 0 being the sound as it is.
        const QByteArray decibels = QByteArray::number(20 * std::log10(volume / 100.0), 'f', 2);
        ca_context_cancel(context, SoundId);
        const int result = ca_context_play(context, SoundId,
                CA_PROP_MEDIA_FILENAME, QFile::encodeName(file).constData(),
                CA_PROP_CANBERRA_VOLUME, decibels.constData(),
                CA_PROP_MEDIA_ROLE, "event",
                CA_PROP_EVENT_DESCRIPTION, "alarm",
                CA_PROP_CANBERRA_CACHE_CONTROL, "never",
                nullptr);
        if (result != CA_SUCCESS) {
            *problem = QString::fromUtf8(ca_strerror(result));
            // A server that went away is looked for again at the next sound.
            ca_context_destroy(context);
            context = nullptr;
            return false;
        }
        return true;
    }

private:
    bool open(QString *problem)
    {
        int result = ca_context_create(&context);
        if (result == CA_SUCCESS)
            result = ca_context_change_props(context,
                    CA_PROP_APPLICATION_NAME, "타르베넬 타이머",
                    CA_PROP_APPLICATION_ID, "example.tarvenel.timer",
                    CA_PROP_APPLICATION_ICON_NAME, "example.tarvenel.timer", nullptr);
        if (result == CA_SUCCESS)
            result = ca_context_open(context);
        if (result != CA_SUCCESS) {
            *problem = QString::fromUtf8(ca_strerror(result));
            if (context)
                ca_context_destroy(context);
            context = nullptr;
            return false;
        }
        return true;
    }

    // The library plays files only: the program's own tones are written
    // once into a private folder that goes with the program.
    QString toneFile(const Sounds::Sound &sound, QString *problem)
    {
        if (!folder)
            folder = std::make_unique<QTemporaryDir>(QDir::tempPath()
                                                     + QStringLiteral("/tarvenel-timer-XXXXXX"));
        if (!folder->isValid()) {
            *problem = QStringLiteral("no folder for the sounds: %1").arg(folder->errorString());
            folder.reset();
            return {};
        }
        const QString file = folder->filePath(sound.key + QStringLiteral(".wav"));
        if (QFile::exists(file))
            return file;
        QSaveFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(sound.wav) != sound.wav.size()
            || !out.commit()) {
            *problem = out.errorString();
            return {};
        }
        return file;
    }

    ca_context *context = nullptr;
    std::unique_ptr<QTemporaryDir> folder;
};

} // namespace

std::unique_ptr<SoundPlayer> SoundPlayer::create()
{
    return std::make_unique<CanberraPlayer>();
}
