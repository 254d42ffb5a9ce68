#pragma once

#include <QObject>

namespace player {

Q_NAMESPACE

// Why a station could not be played: what the resolver found fetching its address and its
// playlists, and what the engine met playing a stream. Decisions are taken on these values; the
// player's view puts them in words for the user.
enum class Failure {
    // Fetching an address or a playlist.
    Refused,
    UnknownHost,
    NoAnswer,
    TooSlow, // the answer began but trickled in too slowly; a stream that played, likewise
    TooManyRedirects,
    InsecureRedirect, // from https to http
    RedirectWithoutLocation,
    Certificate, // the server's certificate was not trusted
    ConnectionClosed,
    NotFound,
    AccessDenied,
    ServerError, // an HTTP status of 400 or more other than "not found"
    NetworkError,
    EmptyAnswer,
    NotAStream,
    // A web page from another host than the one asked: what a hotel's or a train's network
    // answers before its user signs in.
    WebPage,
    BrokenStreamMetadata,
    UnknownCoding, // a content coding not understood
    // What a playlist leads to.
    BadAddress,
    UnsupportedAddress, // not a network address
    RefusedScheme, // a scheme that is not played (file, ftp, ...)
    RefusedPort, // the port of another service
    RefusedReach, // the station leads into the listener's own network
    PlaylistLoop,
    UnreadablePlaylist,
    PlaylistsTooDeep,
    TooManyEntries,
    NothingToPlay, // no candidate was left to try
    // Playing a stream.
    Unreachable,
    UnknownFormat,
    NoAudio,
    NoSoundDevice,
    Unsupported,
    NoEngine,
    EngineError, // any other error of the engine
};
Q_ENUM_NS(Failure)

} // namespace player
