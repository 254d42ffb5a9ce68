#pragma once

#include <QUrl>

namespace network {

// What an address is opened for decides the schemes it may have.
enum class Use {
    // A document or picture: http, https.
    Web,
    // A station's stream: http, https, and MMS (mms, and its explicit forms over HTTP, mmsh,
    // and TCP, mmst).
    Stream,
};

// The one gate for every address the program opens, at any depth (given, playlist entries,
// redirects): only absolute network addresses with a host and a scheme the use allows. Local
// files, devices, descriptors, sockets and other services (file, pipe, tcp, udp, ftp, data, ...)
// are refused.
bool mayOpen(const QUrl &url, Use use);

// http or https (case-insensitive).
bool isHttp(const QUrl &url);

} // namespace network
