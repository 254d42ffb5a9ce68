#include "player/view/statusline.h"

#include "player/view/failuretext.h"

#include <QCoreApplication>

namespace player {

namespace {

// The status line is the media player's: its words keep the player's translation context.
QString playerWords(const char *sourceText)
{
    return QCoreApplication::translate("player::MediaPlayer", sourceText);
}

} // namespace

QString statusLine(
    Playback::State state, int bufferPercent, Failure failure, int httpStatus, bool failureKnown)
{
    using State = Playback::State;
    switch (state) {
    case State::Idle:
        return playerWords(QT_TRANSLATE_NOOP("player::MediaPlayer", "Ready"));
    case State::Connecting:
        return playerWords(QT_TRANSLATE_NOOP("player::MediaPlayer", "Connecting"));
    case State::Buffering:
        return playerWords(QT_TRANSLATE_NOOP("player::MediaPlayer", "Buffering %1%"))
            .arg(bufferPercent);
    case State::Playing:
        return playerWords(QT_TRANSLATE_NOOP("player::MediaPlayer", "Playing"));
    case State::Paused:
        return playerWords(QT_TRANSLATE_NOOP("player::MediaPlayer", "Paused"));
    case State::Stopped:
        return playerWords(QT_TRANSLATE_NOOP("player::MediaPlayer", "Stopped"));
    case State::Reconnecting:
        if (failureKnown) {
            return playerWords(QT_TRANSLATE_NOOP("player::MediaPlayer", "Reconnecting: %1"))
                .arg(failureText(failure, httpStatus));
        }
        return playerWords(QT_TRANSLATE_NOOP("player::MediaPlayer", "Reconnecting"));
    case State::Failed:
        return playerWords(QT_TRANSLATE_NOOP("player::MediaPlayer", "Could not open: %1"))
            .arg(failureText(failure, httpStatus));
    }
    return {};
}

} // namespace player
