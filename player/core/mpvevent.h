#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>

struct mpv_event;

namespace player {

// What the engine keeps of one mpv event: copied on the event thread, handled on the GUI
// thread.
struct MpvEvent
{
    int id = 0; // mpv_event_id
    std::uint64_t reply = 0; // reply_userdata: the command's or the observed property's id
    int error = 0;
    std::int64_t entry = -1; // the playlist entry a file event is about
    int endReason = 0;
    int endError = 0;
    bool valid = false; // the property has a value
    bool flag = false;
    std::int64_t integer = 0;
    double number = 0;
    QByteArray text; // a string property; for the metadata, the title
    QByteArray name; // for the metadata, the station's name
};

// What the engine keeps of an event it acts on; nothing of the others.
std::optional<MpvEvent> copyOf(const mpv_event &event);

} // namespace player
