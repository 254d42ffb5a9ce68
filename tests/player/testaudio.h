#pragma once

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>

#include <cmath>

// A mono 16-bit WAV of a sine tone.
inline QByteArray toneWav(double seconds, int rate = 22050, double frequency = 440)
{
    const int samples = int(seconds * rate);
    QByteArray data(samples * 2, Qt::Uninitialized);
    for (int i = 0; i < samples; ++i) {
        const auto v = static_cast<qint16>(8000 * std::sin(2 * M_PI * frequency * i / rate));
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

// An MP3 of a tone, made by the ffmpeg command; empty when ffmpeg is missing.
inline QByteArray toneMp3(int seconds, int frequency = 440)
{
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    QTemporaryDir dir;
    if (ffmpeg.isEmpty() || !dir.isValid()) {
        return {};
    }
    const QString mp3 = dir.filePath(QStringLiteral("tone.mp3"));
    QProcess make;
    make.start(ffmpeg,
        { QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"),
            QStringLiteral("lavfi"), QStringLiteral("-i"),
            QStringLiteral("sine=frequency=%1:duration=%2").arg(frequency).arg(seconds),
            QStringLiteral("-b:a"), QStringLiteral("128k"), QStringLiteral("-write_xing"),
            QStringLiteral("0"), QStringLiteral("-id3v2_version"), QStringLiteral("0"), mp3 });
    if (!make.waitForFinished(30000)) {
        make.kill();
        make.waitForFinished();
        return {};
    }
    QFile file(mp3);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
