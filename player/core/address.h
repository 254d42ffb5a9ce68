#pragma once

#include <QList>
#include <QUrl>

namespace player {

// The one gate for every address the player opens: the address it is given, every playlist
// reference at any depth and every redirect. Only network streams pass: http, https, mms and
// MMS's explicit forms over HTTP (mmsh) and TCP (mmst), with a host. Local files, devices,
// descriptors, sockets and other services (file, pipe, tcp, udp, ftp, ...) are refused.
bool isPlayableAddress(const QUrl &url);

// mms:// names a stream that is reached over HTTP (mmsh) or TCP (mmst); the engine needs one of
// the explicit forms. Other addresses come back unchanged.
QList<QUrl> engineAddresses(const QUrl &url);

} // namespace player
