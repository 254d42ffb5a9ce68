#pragma once

#include "network/addressclass.h"
#include "network/fetch.h"
#include "network/fetcherror.h"
#include "network/gate.h"
#include "network/openstream.h"

#include <QUrl>

#include <atomic>
#include <memory>

namespace network {

// What an open from a waiting thread came to: the answer, open for reading, or why not.
struct WaitingOpen
{
    std::unique_ptr<OpenStream> stream; // null when the open failed
    FetchError error = FetchError::None;
    int httpStatus = 0; // of the answer, when one came
    Reach reach = Reach::Unset; // as given, or set by the first connection
};

// Opens an address for a thread that may wait (a decoder's, or the demuxer's nested opens on
// it): the same Fetch as every other request (the gate, the reach checked on the resolved
// addresses at every hop, redirects, TLS verified, its bounds and timeouts), run on a thread of
// its own until the answer's head arrived. Returns then, with the answer's connection handed on;
// an answer in a content coding is read whole (within limits.maxBytes) and served from memory.
// Gives up at once when cancelled is set (FetchError::Other). The stream's reads stop too, once
// it is set.
WaitingOpen openWaiting(const QUrl &url, Use use, Reach reach, const Fetch::Headers &headers,
    const std::atomic<bool> &cancelled, const FetchLimits &limits = {});

} // namespace network
