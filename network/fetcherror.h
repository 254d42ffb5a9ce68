#pragma once

namespace network {

// Why a fetch ended (None: it did not fail).
enum class FetchError {
    None,
    Refused, // connection refused
    UnknownHost,
    NoAnswer, // a timeout: no head in time, or not done in time
    TooManyRedirects, // also an insecure (https->http) redirect
    RefusedAddress, // the start address or a redirect did not pass the gate
    ConnectionClosed, // before the head ended, or before the body did
    // The server answered with a status >= 400 (httpStatus() says which); no body is read.
    HttpStatus,
    // No HTTP answer: a malformed or oversized head, or a body whose framing or coding is broken.
    BadAnswer,
    Other,
};

} // namespace network
