// Sounds through the system's own WAV player, from memory and without
// waiting; it has no volume of its own, so the samples are scaled.
#include "soundplayer.h"

#include <qt_windows.h>
#include <mmsystem.h>

namespace {

class WindowsPlayer : public SoundPlayer
{
public:
    ~WindowsPlayer() override
    {
        if (!playing.isEmpty())
            PlaySoundW(nullptr, nullptr, 0);
    }

    bool play(const Sounds::Sound &sound, int volume, QString *problem) override
    {
        if (volume <= 0)
            return true;
        // The image must outlive its playing: it is kept until the next
        // sound has stopped this one.
        QByteArray next = Sounds::scaledWav(sound.wav, volume);
        PlaySoundW(nullptr, nullptr, 0);
        playing = next;
        if (!PlaySoundW(reinterpret_cast<LPCWSTR>(playing.constData()), nullptr,
                        SND_MEMORY | SND_ASYNC | SND_NODEFAULT)) {
            *problem = QStringLiteral("the system could not play it (no sound device?)");
            playing.clear();
            return false;
        }
        return true;
    }

private:
    QByteArray playing;
};

} // namespace

std::unique_ptr<SoundPlayer> SoundPlayer::create()
{
    return std::make_unique<WindowsPlayer>();
}
