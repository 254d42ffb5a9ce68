#pragma once

#include <QByteArray>
#include <QtEndian>

#include <cmath>

// A mono 16-bit WAV of a sine tone.
inline QByteArray toneWav(double seconds, int rate = 22050)
{
    const int samples = int(seconds * rate);
    QByteArray data(samples * 2, Qt::Uninitialized);
    for (int i = 0; i < samples; ++i) {
        const auto v = static_cast<qint16>(8000 * std::sin(2 * M_PI * 440 * i / rate));
        qToLittleEndian(v, data.data() + 2 * i);
    }
    QByteArray h;
    auto u32 = [&](quint32 x) {
        char b[4];
        qToLittleEndian(x, b);
        h.append(b, 4);
    };
    auto u16 = [&](quint16 x) {
        char b[2];
        qToLittleEndian(x, b);
        h.append(b, 2);
    };
    h += "RIFF";
    u32(36 + data.size());
    h += "WAVEfmt ";
    u32(16);
    u16(1);
    u16(1);
    u32(rate);
    u32(rate * 2);
    u16(2);
    u16(16);
    h += "data";
    u32(data.size());
    return h + data;
}
