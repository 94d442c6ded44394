#include "sounds.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <QtMath>

#include <algorithm>
#include <cmath>

namespace Sounds {

namespace {

constexpr int ToneRate = 44100;

// One partial of a tone: its frequency, its share of the loudness, and how
// fast it dies away (per second).
struct Partial
{
    double hertz;
    double gain;
    double decay;
};

// A struck note: partials sounding from `start` for `length` seconds, with
// a short attack so that nothing clicks.
struct Note
{
    double start;
    double length;
    std::initializer_list<Partial> partials;
};

struct Tone
{
    const char *key;
    const char *title;
    double length;
    std::initializer_list<Note> notes;
};

// Two falling notes; a bell's inharmonic partials; three short beeps. All
// are short, and loud enough to be heard over a game at a moderate volume.
const Tone Tones[] = {
    { "chime", "차임", 0.9,
      { { 0.0, 0.9, { { 1318.5, 0.6, 5.0 }, { 2637.0, 0.2, 9.0 } } },
        { 0.28, 0.62, { { 1046.5, 0.6, 4.5 }, { 2093.0, 0.2, 8.0 } } } } },
    { "bell", "종소리", 1.2,
      { { 0.0, 1.2, { { 880.0, 0.5, 3.0 }, { 1760.0, 0.2, 4.5 }, { 2393.0, 0.15, 6.0 },
                      { 3520.0, 0.1, 8.0 } } } } },
    { "beeps", "삐삐", 0.5,
      { { 0.0, 0.1, { { 1760.0, 0.8, 0.0 } } },
        { 0.18, 0.1, { { 1760.0, 0.8, 0.0 } } },
        { 0.36, 0.1, { { 1760.0, 0.8, 0.0 } } } } },
};

const Tone *findTone(const QString &key)
{
    for (const Tone &tone : Tones) {
        if (key == QLatin1String(tone.key))
            return &tone;
    }
    return nullptr;
}

void putLe16(QByteArray &out, quint16 v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

void putLe32(QByteArray &out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

QByteArray wavHeader(int channels, int rate, int bits, qsizetype dataSize)
{
    QByteArray out;
    const int block = channels * bits / 8;
    out.append("RIFF");
    putLe32(out, quint32(36 + dataSize));
    out.append("WAVEfmt ");
    putLe32(out, 16);
    putLe16(out, 1);
    putLe16(out, quint16(channels));
    putLe32(out, quint32(rate));
    putLe32(out, quint32(rate * block));
    putLe16(out, quint16(block));
    putLe16(out, quint16(bits));
    out.append("data");
    putLe32(out, quint32(dataSize));
    return out;
}

quint32 le32(const char *p)
{
    return qFromLittleEndian<quint32>(p);
}

quint16 le16(const char *p)
{
    return qFromLittleEndian<quint16>(p);
}

} // namespace

QStringList toneKeys()
{
    QStringList keys;
    for (const Tone &tone : Tones)
        keys << QLatin1String(tone.key);
    return keys;
}

QString toneTitle(const QString &key)
{
    if (key == noSound())
        return QStringLiteral("없음");
    const Tone *tone = findTone(key);
    return tone ? QString::fromUtf8(tone->title) : QString();
}

const QString &defaultTone()
{
    static const QString key = QStringLiteral("chime");
    return key;
}

const QString &noSound()
{
    static const QString key = QStringLiteral("none");
    return key;
}

bool isFile(const QString &choice)
{
    return QFileInfo(choice).isAbsolute() && !choice.startsWith(QLatin1Char(':'));
}

bool isValidChoice(const QString &choice)
{
    return choice == noSound() || findTone(choice) || isFile(choice);
}

QByteArray toneWav(const QString &key)
{
    const Tone *tone = findTone(key);
    if (!tone)
        return {};
    const int frames = int(tone->length * ToneRate);
    QList<double> mix(frames, 0.0);
    constexpr double Attack = 0.004;
    constexpr double Release = 0.01;
    for (const Note &note : tone->notes) {
        const int first = int(note.start * ToneRate);
        const int count = std::min(int(note.length * ToneRate), frames - first);
        for (int i = 0; i < count; ++i) {
            const double t = double(i) / ToneRate;
            const double edge = std::min({ 1.0, t / Attack, (note.length - t) / Release });
            double v = 0;
            for (const Partial &p : note.partials)
                v += p.gain * std::exp(-p.decay * t) * std::sin(2 * M_PI * p.hertz * t);
            mix[first + i] += std::max(edge, 0.0) * v;
        }
    }
    const double peak = std::max(1e-9, std::abs(*std::max_element(mix.begin(), mix.end(),
            [](double a, double b) { return std::abs(a) < std::abs(b); })));
    // Normalised to -1 dBFS: the volume setting is the only thing that
    // makes the program's tones quieter.
    const double scale = 0.89 * 32767 / peak;
    QByteArray out = wavHeader(1, ToneRate, 16, qsizetype(frames) * 2);
    for (double v : mix)
        putLe16(out, quint16(qint16(std::lround(v * scale))));
    return out;
}

std::optional<WavFormat> readWav(const QByteArray &bytes, QString *problem)
{
    const char *d = bytes.constData();
    const qsizetype size = bytes.size();
    if (size < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE") {
        *problem = QStringLiteral("not a WAV file");
        return std::nullopt;
    }
    WavFormat format;
    bool haveFormat = false;
    int block = 0;
    for (qsizetype at = 12; at + 8 <= size;) {
        const QByteArray id = bytes.mid(at, 4);
        const qint64 length = le32(d + at + 4);
        const qsizetype body = at + 8;
        if (id == "fmt ") {
            if (length < 16 || body + 16 > size) {
                *problem = QStringLiteral("its format chunk is cut short");
                return std::nullopt;
            }
            int code = le16(d + body);
            if (code == 0xFFFE && length >= 40 && body + 26 <= size)
                code = le16(d + body + 24); // the extensible format's sub-format
            format.channels = le16(d + body + 2);
            format.sampleRate = int(le32(d + body + 4));
            block = le16(d + body + 12);
            format.bits = le16(d + body + 14);
            if (code != 1) {
                *problem = QStringLiteral("it is not uncompressed PCM (format %1)").arg(code);
                return std::nullopt;
            }
            if ((format.bits != 8 && format.bits != 16) || format.channels < 1 || format.channels > 2
                || format.sampleRate < 8000 || format.sampleRate > 96000
                || block != format.channels * format.bits / 8) {
                *problem = QStringLiteral("%1 channels of %2 bits at %3 Hz is not a format the "
                                          "clock plays (1 or 2 channels of 8 or 16 bits, 8000 to "
                                          "96000 Hz)")
                                   .arg(format.channels).arg(format.bits).arg(format.sampleRate);
                return std::nullopt;
            }
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat) {
                *problem = QStringLiteral("its samples come before their format");
                return std::nullopt;
            }
            if (body + length > size) {
                *problem = QStringLiteral("its samples are cut short");
                return std::nullopt;
            }
            format.dataOffset = body;
            format.dataSize = qsizetype(length - length % block);
            if (format.dataSize == 0) {
                *problem = QStringLiteral("it holds no samples");
                return std::nullopt;
            }
            return format;
        }
        // Chunks are padded to an even length.
        at = body + length + (length & 1);
    }
    *problem = haveFormat ? QStringLiteral("it holds no samples")
                          : QStringLiteral("it has no format chunk");
    return std::nullopt;
}

QByteArray loadFile(const QString &fileName, QString *problem)
{
    const QFileInfo info(fileName);
    if (!info.exists()) {
        *problem = QStringLiteral("there is no such file");
        return {};
    }
    // Never opened otherwise: a FIFO or a device would hang or never end.
    if (!info.isFile()) {
        *problem = QStringLiteral("it is not a regular file");
        return {};
    }
    if (info.size() > MaxFileBytes) {
        *problem = QStringLiteral("it is larger than %1 MB").arg(MaxFileBytes / (1024 * 1024));
        return {};
    }
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        *problem = file.errorString();
        return {};
    }
    QByteArray bytes = file.read(MaxFileBytes + 1);
    if (bytes.size() > MaxFileBytes) {
        *problem = QStringLiteral("it is larger than %1 MB").arg(MaxFileBytes / (1024 * 1024));
        return {};
    }
    if (!readWav(bytes, problem))
        return {};
    return bytes;
}

QByteArray scaledWav(const QByteArray &wav, int volume)
{
    QString ignored;
    const std::optional<WavFormat> format = readWav(wav, &ignored);
    if (!format)
        return {};
    const double gain = std::clamp(volume, 0, 100) / 100.0;
    QByteArray out = wavHeader(format->channels, format->sampleRate, format->bits, format->dataSize);
    const qsizetype header = out.size();
    out.append(wav.constData() + format->dataOffset, format->dataSize);
    char *samples = out.data() + header;
    if (format->bits == 16) {
        for (qsizetype i = 0; i + 1 < format->dataSize; i += 2) {
            const auto v = qint16(le16(samples + i));
            qToLittleEndian(quint16(qint16(std::lround(v * gain))), samples + i);
        }
    } else {
        // 8-bit samples are unsigned, around 128.
        for (qsizetype i = 0; i < format->dataSize; ++i) {
            const int v = quint8(samples[i]) - 128;
            samples[i] = char(quint8(128 + std::lround(v * gain)));
        }
    }
    return out;
}

std::optional<Sound> resolve(const QString &choice, QString *problem)
{
    if (choice == noSound())
        return std::nullopt;
    if (isFile(choice)) {
        QByteArray bytes = loadFile(choice, problem);
        if (!bytes.isEmpty())
            return Sound { choice, choice, bytes };
        return Sound { defaultTone(), {}, toneWav(defaultTone()) };
    }
    const QString key = findTone(choice) ? choice : defaultTone();
    return Sound { key, {}, toneWav(key) };
}

} // namespace Sounds
