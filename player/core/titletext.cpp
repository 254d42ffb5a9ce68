#include "player/core/titletext.h"

#include "network/logging.h"

#include <QStringDecoder>
#include <QUrl>

#include <algorithm>
#include <array>
#include <optional>

namespace player {

namespace {

// The characters that the Windows variant of Latin-1 puts at 0x80 to 0x9F (0 where it has none).
constexpr std::array<char16_t, 32> windows1252High = {
    0x20AC,
    0,
    0x201A,
    0x0192,
    0x201E,
    0x2026,
    0x2020,
    0x2021,
    0x02C6,
    0x2030,
    0x0160,
    0x2039,
    0x0152,
    0,
    0x017D,
    0,
    0,
    0x2018,
    0x2019,
    0x201C,
    0x201D,
    0x2022,
    0x2013,
    0x2014,
    0x02DC,
    0x2122,
    0x0161,
    0x203A,
    0x0153,
    0,
    0x017E,
    0x0178,
};

std::optional<char> latinByte(QChar c)
{
    const char16_t u = c.unicode();
    if (u <= 0xFF) {
        return static_cast<char>(u);
    }
    for (std::size_t i = 0; i < windows1252High.size(); ++i) {
        if (windows1252High[i] == u) {
            return static_cast<char>(0x80 + i);
        }
    }
    return std::nullopt;
}

std::optional<QString> strictUtf8(QByteArrayView bytes)
{
    QStringDecoder d(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString s = d.decode(bytes);
    if (d.hasError()) {
        return std::nullopt;
    }
    return s;
}

// Undoes one round of UTF-8 read as Latin-1 and written out again, when the text is that.
std::optional<QString> undoMisreading(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    bool high = false;
    for (QChar c : text) {
        const auto b = latinByte(c);
        if (!b) {
            return std::nullopt;
        }
        high = high || static_cast<unsigned char>(*b) >= 0x80;
        bytes.append(*b);
    }
    if (!high) {
        return std::nullopt;
    }
    return strictUtf8(bytes);
}

} // namespace

QString decodeCharacterReferences(QStringView in)
{
    QString out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] != u'&') {
            out.append(in[i]);
            continue;
        }
        const qsizetype semi = in.indexOf(u';', i + 1);
        if (semi < 0 || semi - i > 12) {
            out.append(u'&');
            continue;
        }
        const QStringView name = in.sliced(i + 1, semi - i - 1);
        char32_t code = 0;
        if (name == u"amp") {
            code = '&';
        } else if (name == u"lt") {
            code = '<';
        } else if (name == u"gt") {
            code = '>';
        } else if (name == u"quot") {
            code = '"';
        } else if (name == u"apos") {
            code = '\'';
        } else if (name.size() > 1 && name[0] == u'#') {
            bool ok = false;
            const bool hex = name[1] == u'x' || name[1] == u'X';
            const QStringView digits = name.mid(hex ? 2 : 1);
            const uint v = digits.isEmpty() || !digits[0].isLetterOrNumber()
                ? 0
                : (hex ? digits.toUInt(&ok, 16) : digits.toUInt(&ok, 10));
            if (ok && v > 0 && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) {
                code = v;
            }
        }
        if (code == 0) {
            out.append(u'&');
            continue;
        }
        out.append(QString::fromUcs4(&code, 1));
        i = semi;
    }
    return out;
}

QString repairTitle(QByteArrayView raw)
{
    QString text;
    if (auto utf8 = strictUtf8(raw)) {
        text = *utf8;
        // Servers that misread UTF-8 may have done it twice.
        for (int round = 0; round < 2; ++round) {
            auto undone = undoMisreading(text);
            if (!undone) {
                break;
            }
            text = *undone;
        }
    } else {
        text = QString::fromLatin1(raw);
    }
    text = decodeCharacterReferences(text);
    QString clean;
    clean.reserve(text.size());
    for (QChar c : std::as_const(text)) {
        const auto cat = c.category();
        if (cat == QChar::Other_Control || cat == QChar::Other_NotAssigned) {
            if (c == u'\t' || c == u'\n' || c == u'\r') {
                clean.append(u' ');
            }
            continue;
        }
        clean.append(c);
    }
    return clean.simplified();
}

QString withoutDirectionControls(const QString &text)
{
    QString out = text;
    out.removeIf([](QChar c) {
        const char16_t u = c.unicode();
        return (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
    });
    return out;
}

QString shownAddress(const QString &address)
{
    const QUrl url(address, QUrl::TolerantMode);
    if (url.isValid()) {
        return url.password().isEmpty() ? address : network::shownUrl(url);
    }
    // Not an address the player can open, yet still the user's: "user:password@" is cut all
    // the same.
    const qsizetype authority = address.indexOf(QLatin1String("://"));
    if (authority < 0) {
        return address;
    }
    const qsizetype from = authority + 3;
    qsizetype end = address.size();
    for (const QChar c : { u'/', u'?', u'#' }) {
        const qsizetype at = address.indexOf(c, from);
        if (at >= 0) {
            end = std::min(end, at);
        }
    }
    const qsizetype at = address.lastIndexOf(u'@', end - 1);
    const qsizetype colon = address.indexOf(u':', from);
    if (at < from || colon < 0 || colon > at) {
        return address;
    }
    return address.left(colon) + address.mid(at);
}

} // namespace player
