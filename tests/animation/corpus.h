#pragma once

#include <QDir>
#include <QDirIterator>
#include <QString>
#include <QStringList>

// The shared movie corpus, found through RADIO_SHARED_DIR; empty when it is not there.
inline QString corpusDir()
{
    const QString shared = qEnvironmentVariable("RADIO_SHARED_DIR");
    const QString dir = shared + "/swf-corpus";
    return !shared.isEmpty() && QDir(dir).exists() ? dir : QString();
}

inline QStringList corpusMovies()
{
    QStringList files;
    const QString dir = corpusDir();
    if (dir.isEmpty()) {
        return files;
    }
    QDirIterator it(dir, { "*.swf" }, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        files << it.next();
    }
    files.sort();
    return files;
}
