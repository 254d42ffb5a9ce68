#include "player/view/failuretext.h"

#include <QCoreApplication>

namespace player {

namespace {

constexpr char context[] = "player::Reason";

// The English words of a failure, marked for translation.
const char *sourceText(Failure failure)
{
    switch (failure) {
    case Failure::Refused:
        return QT_TRANSLATE_NOOP("player::Reason", "refused");
    case Failure::UnknownHost:
        return QT_TRANSLATE_NOOP("player::Reason", "unknown host");
    case Failure::NoAnswer:
        return QT_TRANSLATE_NOOP("player::Reason", "no answer");
    case Failure::TooSlow:
        return QT_TRANSLATE_NOOP("player::Reason", "server too slow");
    case Failure::InsecureRedirect:
        return QT_TRANSLATE_NOOP("player::Reason", "insecure redirect refused");
    case Failure::RedirectWithoutLocation:
        return QT_TRANSLATE_NOOP("player::Reason", "redirect without an address");
    case Failure::Certificate:
        return QT_TRANSLATE_NOOP("player::Reason", "station's certificate not trusted");
    case Failure::UnknownCoding:
        return QT_TRANSLATE_NOOP("player::Reason", "content coding not understood");
    case Failure::RefusedScheme:
        return QT_TRANSLATE_NOOP("player::Reason", "address of a kind not played");
    case Failure::RefusedPort:
        return QT_TRANSLATE_NOOP("player::Reason", "port of another service");
    case Failure::RefusedReach:
        return QT_TRANSLATE_NOOP("player::Reason", "station leads into your own network");
    case Failure::TooManyRedirects:
        return QT_TRANSLATE_NOOP("player::Reason", "too many redirects");
    case Failure::ConnectionClosed:
        return QT_TRANSLATE_NOOP("player::Reason", "connection closed");
    case Failure::NotFound:
        return QT_TRANSLATE_NOOP("player::Reason", "not found");
    case Failure::AccessDenied:
        return QT_TRANSLATE_NOOP("player::Reason", "access denied");
    case Failure::ServerError:
        return QT_TRANSLATE_NOOP("player::Reason", "server error %1");
    case Failure::NetworkError:
        return QT_TRANSLATE_NOOP("player::Reason", "network error");
    case Failure::EmptyAnswer:
        return QT_TRANSLATE_NOOP("player::Reason", "empty answer");
    case Failure::NotAStream:
        return QT_TRANSLATE_NOOP("player::Reason", "not a stream");
    case Failure::WebPage:
        return QT_TRANSLATE_NOOP("player::Reason", "the network answered with a web page");
    case Failure::BrokenStreamMetadata:
        return QT_TRANSLATE_NOOP("player::Reason", "broken stream metadata");
    case Failure::BadAddress:
        return QT_TRANSLATE_NOOP("player::Reason", "bad address");
    case Failure::UnsupportedAddress:
        return QT_TRANSLATE_NOOP("player::Reason", "unsupported address");
    case Failure::PlaylistLoop:
        return QT_TRANSLATE_NOOP("player::Reason", "playlist loop");
    case Failure::UnreadablePlaylist:
        return QT_TRANSLATE_NOOP("player::Reason", "unreadable playlist");
    case Failure::PlaylistsTooDeep:
        return QT_TRANSLATE_NOOP("player::Reason", "playlists too deep");
    case Failure::TooManyEntries:
        return QT_TRANSLATE_NOOP("player::Reason", "too many entries");
    case Failure::NothingToPlay:
        return QT_TRANSLATE_NOOP("player::Reason", "nothing to play");
    case Failure::Unreachable:
        return QT_TRANSLATE_NOOP("player::Reason", "unreachable");
    case Failure::UnknownFormat:
        return QT_TRANSLATE_NOOP("player::Reason", "unknown format");
    case Failure::NoAudio:
        return QT_TRANSLATE_NOOP("player::Reason", "no audio");
    case Failure::NoSoundDevice:
        return QT_TRANSLATE_NOOP("player::Reason", "no sound device");
    case Failure::Unsupported:
        return QT_TRANSLATE_NOOP("player::Reason", "unsupported");
    case Failure::NoEngine:
        return QT_TRANSLATE_NOOP("player::Reason", "no engine");
    case Failure::EngineError:
        return QT_TRANSLATE_NOOP("player::Reason", "engine error");
    }
    return ""; // only a value cast from outside the enumeration gets here
}

} // namespace

QString failureText(Failure failure, int httpStatus)
{
    const QString text = QCoreApplication::translate(context, sourceText(failure));
    return failure == Failure::ServerError ? text.arg(httpStatus) : text;
}

} // namespace player
