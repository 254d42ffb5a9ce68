#include "player/reasons.h"

#include <QCoreApplication>
#include <QRegularExpression>

namespace player {

namespace {

constexpr char context[] = "player::Reason";

// Every reason the resolver and the engine give, marked for translation.
const char *const reasons[] = {
    // Fetching an endpoint or a playlist.
    QT_TRANSLATE_NOOP("player::Reason", "refused"),
    QT_TRANSLATE_NOOP("player::Reason", "unknown host"),
    QT_TRANSLATE_NOOP("player::Reason", "no answer"),
    QT_TRANSLATE_NOOP("player::Reason", "too many redirects"),
    QT_TRANSLATE_NOOP("player::Reason", "connection closed"),
    QT_TRANSLATE_NOOP("player::Reason", "not found"),
    QT_TRANSLATE_NOOP("player::Reason", "access denied"),
    QT_TRANSLATE_NOOP("player::Reason", "network error"),
    QT_TRANSLATE_NOOP("player::Reason", "empty answer"),
    QT_TRANSLATE_NOOP("player::Reason", "not a stream"),
    // What a playlist leads to.
    QT_TRANSLATE_NOOP("player::Reason", "bad address"),
    QT_TRANSLATE_NOOP("player::Reason", "unsupported address"),
    QT_TRANSLATE_NOOP("player::Reason", "playlist loop"),
    QT_TRANSLATE_NOOP("player::Reason", "unreadable playlist"),
    QT_TRANSLATE_NOOP("player::Reason", "playlists too deep"),
    QT_TRANSLATE_NOOP("player::Reason", "too many entries"),
    QT_TRANSLATE_NOOP("player::Reason", "nothing to play"),
    // Playing a stream.
    QT_TRANSLATE_NOOP("player::Reason", "unreachable"),
    QT_TRANSLATE_NOOP("player::Reason", "unknown format"),
    QT_TRANSLATE_NOOP("player::Reason", "broken stream metadata"),
    QT_TRANSLATE_NOOP("player::Reason", "no audio"),
    QT_TRANSLATE_NOOP("player::Reason", "no sound device"),
    QT_TRANSLATE_NOOP("player::Reason", "unsupported"),
    QT_TRANSLATE_NOOP("player::Reason", "no engine"),
};

} // namespace

QString reasonText(const QString &reason)
{
    static const QRegularExpression serverError(QStringLiteral("^server error (\\d{3})$"));
    if (const QRegularExpressionMatch m = serverError.match(reason); m.hasMatch()) {
        return QCoreApplication::translate("player::Reason", "server error %1").arg(m.captured(1));
    }
    for (const char *known : reasons) {
        if (reason == QLatin1String(known)) {
            return QCoreApplication::translate(context, known);
        }
    }
    return reason;
}

} // namespace player
