#ifndef SOUNDPLAYER_H
#define SOUNDPLAYER_H

#include "sounds.h"

#include <memory>

// Plays an alarm's sound through the desktop's sound system without
// waiting for it (soundplayer_<platform>.cpp). A new sound cuts off the
// one still playing.
class SoundPlayer
{
public:
    virtual ~SoundPlayer() = default;

    // False, and why in *problem, when the sound cannot be played at all
    // (no sound server, no device).
    virtual bool play(const Sounds::Sound &sound, int volume, QString *problem) = 0;

    static std::unique_ptr<SoundPlayer> create();
};

#endif
