#pragma once

namespace player {

// How the player names itself to stream servers: in the resolver's requests and in the
// engine's, so that a server answers both alike.
const char *userAgent();

} // namespace player
