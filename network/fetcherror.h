#pragma once

namespace network {

// Why a fetch ended (None: it did not fail).
enum class FetchError {
    None,
    Refused, // connection refused
    UnknownHost,
    NoAnswer, // a timeout: no byte of an answer in time
    TooSlow, // a timeout while the answer trickled in: its head or body not whole in time
    TooManyRedirects,
    InsecureRedirect, // from https to http
    RedirectWithoutLocation, // a redirect status with no address to go to
    // The start address or a redirect did not pass the gate: not a network address at all
    // (no host, not valid); RefusedScheme and RefusedPort say why when it was.
    RefusedAddress,
    RefusedScheme, // a scheme the fetch's use does not open
    RefusedPort, // the port of another service
    RefusedReach, // the host's addresses lead where the station may not (its listener's network)
    Certificate, // TLS: the server's certificate was not trusted
    ConnectionClosed, // before the head ended, or before the body did
    // The server answered with a status >= 400 (httpStatus() says which); no body is read.
    HttpStatus,
    // No HTTP answer: a malformed or oversized head, or a body whose framing or coding is broken.
    BadAnswer,
    UnknownCoding, // a content coding the fetch does not undo
    Other,
};

} // namespace network
