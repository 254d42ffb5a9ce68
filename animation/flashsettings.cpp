#include "animation/flashsettings.h"

#include "platform/settingsblock.h"

#include <cstring>

namespace animation {

namespace {

constexpr char signature[4] = { 'g', 'U', 'f', 'U' };

// The 24 stored values in their fixed order; nullptr marks the object slot.
std::array<QString FlashSettings::*, 24> fieldOrder()
{
    return { &FlashSettings::flashVars, &FlashSettings::movie, &FlashSettings::src,
        &FlashSettings::wmode, &FlashSettings::play, &FlashSettings::loop, &FlashSettings::quality,
        &FlashSettings::salign, &FlashSettings::menu, &FlashSettings::base,
        &FlashSettings::allowScriptAccess, &FlashSettings::scale, &FlashSettings::deviceFont,
        &FlashSettings::embedMovie, &FlashSettings::bgColor, &FlashSettings::swRemote,
        &FlashSettings::movieData, nullptr, &FlashSettings::seamlessTabbing,
        &FlashSettings::profile, &FlashSettings::profileAddress, &FlashSettings::profilePort,
        &FlashSettings::allowNetworking, &FlashSettings::allowFullScreen };
}

constexpr int profileAddressIndex = 20;

} // namespace

bool FlashSettings::isTrue(const QString &flag) const
{
    return flag == QLatin1String("-1") || flag == QLatin1String("1")
        || flag.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

FlashSettings decodeFlashSettings(QByteArrayView block)
{
    platform::SettingsReader reader(block);
    const QByteArray sig = reader.raw(4);
    if (std::memcmp(sig.constData(), signature, 4) != 0) {
        throw platform::SettingsError("animation player settings: wrong signature");
    }
    const auto version = reader.u32();
    if (version != flashSettingsVersion) {
        throw platform::SettingsError(
            "animation player settings: unknown version " + std::to_string(version));
    }
    FlashSettings s;
    s.extentWidth = reader.u32();
    s.extentHeight = reader.u32();
    const auto order = fieldOrder();
    for (std::size_t i = 0; i < order.size(); ++i) {
        const auto offset = reader.offset();
        const platform::StoredValue v = reader.value();
        if (order[i] == nullptr) {
            const auto *slot = std::get_if<platform::ObjectSlot>(&v);
            if (!slot) {
                throw platform::SettingsError("animation player settings: value "
                    + std::to_string(i + 1) + " at byte " + std::to_string(offset)
                    + " is not an object slot");
            }
            s.objectSlot = slot->bytes;
            continue;
        }
        const auto *str = std::get_if<platform::StoredString>(&v);
        if (!str) {
            throw platform::SettingsError("animation player settings: value "
                + std::to_string(i + 1) + " at byte " + std::to_string(offset)
                + " is not a string");
        }
        s.*order[i] = str->text;
    }
    reader.expectEnd();
    return s;
}

QByteArray encodeFlashSettings(const FlashSettings &settings)
{
    platform::SettingsWriter writer;
    writer.raw(QByteArrayView(signature, 4));
    writer.u32(flashSettingsVersion);
    writer.u32(settings.extentWidth);
    writer.u32(settings.extentHeight);
    const auto order = fieldOrder();
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (order[i] == nullptr) {
            platform::ObjectSlot slot;
            slot.bytes = settings.objectSlot;
            writer.value(slot);
            continue;
        }
        const QString &text = settings.*order[i];
        if (int(i) == profileAddressIndex && text.isEmpty()) {
            writer.value(platform::bareString());
        } else {
            writer.value(platform::storedString(text));
        }
    }
    return writer.bytes();
}

} // namespace animation
