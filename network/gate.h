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
// redirects): only absolute network addresses with a host and a scheme the use allows, on a port
// that is not another service's. Local files, devices, descriptors, sockets and other services
// (file, pipe, tcp, udp, ftp, data, ...) are refused, and so are the ports that web pages may not
// reach either (mail, shell, name service, chat and the like: 25, 22, 53, 6667, ...), whether the
// address names the port or its scheme's default is one. Where the host's addresses may lead is
// the connection's to check, against the station's reach (network/addressclass.h).
bool mayOpen(const QUrl &url, Use use);

// Why the gate refuses an address (None: it does not).
enum class Refusal {
    None,
    NotNetwork, // not valid, relative, or without a host
    Scheme, // a scheme the use does not allow
    Port, // another service's port
};
Refusal refusal(const QUrl &url, Use use);

// The port the address names, else its scheme's: http and mmsh 80, https 443, mms and mmst
// 1755; -1 for another scheme.
int portOf(const QUrl &url);

// http or https (case-insensitive).
bool isHttp(const QUrl &url);

// https (case-insensitive).
bool isHttps(const QUrl &url);

} // namespace network
