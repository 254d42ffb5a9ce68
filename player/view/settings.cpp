#include "player/view/settings.h"

#include "platform/settingsblock.h"

#include <string>

namespace player {

namespace {

using platform::SettingsError;
using platform::StoredValue;
using platform::ValueTag;

// The block's values, one per position, in their stored order.
template <typename Visitor> void forEachField(MediaPlayerSettings &s, Visitor &&visit)
{
    visit("URL", s.url);
    visit("rate", s.rate);
    visit("balance", s.balance);
    visit("currentPosition", s.currentPosition);
    visit("defaultFrame", s.defaultFrame);
    visit("playCount", s.playCount);
    visit("autoStart", s.autoStart);
    visit("currentMarker", s.currentMarker);
    visit("invokeURLs", s.invokeUrls);
    visit("baseURL", s.baseUrl);
    visit("volume", s.volume);
    visit("mute", s.mute);
    visit("uiMode", s.uiMode);
    visit("stretchToFit", s.stretchToFit);
    visit("windowlessVideo", s.windowlessVideo);
    visit("enabled", s.enabled);
    visit("enableContextMenu", s.enableContextMenu);
    visit("fullScreen", s.fullScreen);
    visit("SAMIStyle", s.samiStyle);
    visit("SAMILang", s.samiLang);
    visit("SAMIFilename", s.samiFilename);
    visit("captioningID", s.captioningId);
    visit("enableErrorDialogs", s.enableErrorDialogs);
}

[[noreturn]] void wrongType(const char *name)
{
    throw SettingsError(std::string("media player settings: wrong value type for ") + name);
}

struct Reader
{
    platform::SettingsReader &in;

    void operator()(const char *name, QString &out) const
    {
        const StoredValue v = in.value();
        if (const auto *s = std::get_if<platform::StoredString>(&v)) {
            out = s->text;
            return;
        }
        wrongType(name);
    }
    template <typename T> void operator()(const char *name, T &out) const
    {
        const StoredValue v = in.value();
        if (const auto *x = std::get_if<T>(&v)) {
            out = *x;
            return;
        }
        wrongType(name);
    }
};

struct Writer
{
    platform::SettingsWriter &out;

    void operator()(const char *, const QString &s) const { out.value(platform::storedString(s)); }
    template <typename T> void operator()(const char *, const T &v) const
    {
        out.value(StoredValue(v));
    }
};

} // namespace

MediaPlayerSettings decodeMediaPlayerSettings(QByteArrayView block)
{
    platform::SettingsReader in(block);
    if (in.u32() != mediaPlayerSettingsVersion) {
        throw SettingsError("media player settings: unknown version word");
    }
    MediaPlayerSettings s;
    forEachField(s, Reader { in });
    s.extentWidth = in.u32();
    s.extentHeight = in.u32();
    in.expectEnd();
    return s;
}

QByteArray encodeMediaPlayerSettings(const MediaPlayerSettings &settings)
{
    platform::SettingsWriter out;
    out.u32(mediaPlayerSettingsVersion);
    MediaPlayerSettings copy = settings;
    forEachField(copy, Writer { out });
    out.u32(settings.extentWidth);
    out.u32(settings.extentHeight);
    return out.bytes();
}

} // namespace player
