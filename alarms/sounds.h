#ifndef SOUNDS_H
#define SOUNDS_H

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// The alarms' sounds: a few short tones the program makes itself, or a
// WAV file of the player's own, at a volume of 0 to 100.
namespace Sounds {

// The names the settings file uses for the program's own tones, and the
// choice of no sound.
QStringList toneKeys();
QString toneTitle(const QString &key); // "차임", ...
const QString &defaultTone();
const QString &noSound();
constexpr int DefaultVolume = 60;
constexpr qint64 MaxFileBytes = 10 * 1024 * 1024;

// A choice as the settings file may hold it: a tone's key, the choice of
// no sound, or a file's absolute path.
bool isValidChoice(const QString &choice);
bool isFile(const QString &choice);

// The tone as a 16-bit mono WAV image, or an empty array for an unknown key.
QByteArray toneWav(const QString &key);

// What is known of a WAV image that can be played: uncompressed PCM of 8
// or 16 bits, one or two channels.
struct WavFormat
{
    int channels = 0;
    int sampleRate = 0;
    int bits = 0;
    qsizetype dataOffset = 0;
    qsizetype dataSize = 0;
};
std::optional<WavFormat> readWav(const QByteArray &bytes, QString *problem);

// The player's file read and checked, or an empty array and why not. Only
// a regular file (or a link to one) of at most MaxFileBytes is read.
QByteArray loadFile(const QString &fileName, QString *problem);

// The image's samples scaled to the volume, as a plain WAV of its format,
// for players that have no volume of their own.
QByteArray scaledWav(const QByteArray &wav, int volume);

// A sound ready for the platform's player: the image, and the file it came
// from where it came from one.
struct Sound
{
    QString key; // the tone's key or the file's path
    QString file;
    QByteArray wav;
};

// The sound a choice plays: the chosen tone or file, the default tone in
// place of a file that cannot be played (why in *problem), or none.
std::optional<Sound> resolve(const QString &choice, QString *problem);

} // namespace Sounds

#endif
