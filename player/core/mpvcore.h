#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

#include <cstdint>

struct mpv_handle;

namespace player {

// The properties the engine is told about, by the id their changes come with. The position and
// the length are read, not observed, but their reports carry an id too.
enum MpvObserved : std::uint64_t {
    ObservePausedForCache = 1,
    ObserveBufferingState,
    ObserveTimePos,
    ObserveDuration,
    ObserveMetadata,
    ObserveAudioOutput,
    ObserveSeekable,
    ObserveFileSize,
};

// A new mpv core set up for the engine and initialised: its options, its guards, then the extra
// options (name, value), and its properties observed. Null when mpv cannot be set up or refuses
// one of the guards: without them the engine does not run at all.
mpv_handle *createMpvCore(const QList<QPair<QByteArray, QByteArray>> &extraOptions);

// Sets the C library's allocator up for the engine: large buffers mapped on their own and handed
// back when freed, and two allocator arenas for all threads. A thread picks its arena when it
// first allocates, so main() calls this before any thread starts; creating an engine calls it
// too (only the first call counts).
void setUpAllocator();

// Hands the pages the allocator holds free back to the system. A stream's buffers are freed in
// the middle of the allocator's heaps, where it keeps them resident until asked: the engine asks
// once the previous stream is gone (a new one plays, or none).
void returnFreedMemory();

} // namespace player
