#include "player/core/mpvevent.h"

#include <QtGlobal>

#include <mpv/client.h>

namespace player {

namespace {

// Looks a key up in a metadata map, ignoring case.
QByteArray metadataValue(const mpv_node &map, const char *key)
{
    if (map.format != MPV_FORMAT_NODE_MAP || !map.u.list) {
        return {};
    }
    const mpv_node_list *list = map.u.list;
    for (int i = 0; i < list->num; ++i) {
        if (qstricmp(list->keys[i], key) == 0 && list->values[i].format == MPV_FORMAT_STRING) {
            return QByteArray(list->values[i].u.string);
        }
    }
    return {};
}

} // namespace

std::optional<MpvEvent> copyOf(const mpv_event &event)
{
    MpvEvent copy;
    copy.id = event.event_id;
    copy.reply = event.reply_userdata;
    copy.error = event.error;
    switch (event.event_id) {
    case MPV_EVENT_COMMAND_REPLY:
    case MPV_EVENT_PLAYBACK_RESTART:
        return copy;
    case MPV_EVENT_START_FILE:
        copy.entry = static_cast<const mpv_event_start_file *>(event.data)->playlist_entry_id;
        return copy;
    case MPV_EVENT_END_FILE: {
        const auto *end = static_cast<const mpv_event_end_file *>(event.data);
        copy.entry = end->playlist_entry_id;
        copy.endReason = end->reason;
        copy.endError = end->error;
        return copy;
    }
    case MPV_EVENT_PROPERTY_CHANGE: {
        const auto *property = static_cast<const mpv_event_property *>(event.data);
        copy.valid = property->format != MPV_FORMAT_NONE && property->data;
        if (!copy.valid) {
            return copy;
        }
        switch (property->format) {
        case MPV_FORMAT_FLAG:
            copy.flag = *static_cast<const int *>(property->data) != 0;
            break;
        case MPV_FORMAT_INT64:
            copy.integer = *static_cast<const std::int64_t *>(property->data);
            break;
        case MPV_FORMAT_DOUBLE:
            copy.number = *static_cast<const double *>(property->data);
            break;
        case MPV_FORMAT_STRING:
            copy.text = QByteArray(*static_cast<char *const *>(property->data));
            break;
        case MPV_FORMAT_NODE: {
            const auto &node = *static_cast<const mpv_node *>(property->data);
            copy.text = metadataValue(node, "icy-title");
            if (copy.text.isEmpty()) {
                copy.text = metadataValue(node, "title");
            }
            copy.name = metadataValue(node, "icy-name");
            break;
        }
        default:
            copy.valid = false;
            break;
        }
        return copy;
    }
    default:
        return std::nullopt;
    }
}

} // namespace player
