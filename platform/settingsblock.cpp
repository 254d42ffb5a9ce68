#include "platform/settingsblock.h"

#include <QtEndian>

#include <cstring>
#include <string>

namespace platform {

ValueTag tagOf(const StoredValue &value)
{
    struct Visitor
    {
        ValueTag operator()(std::int32_t) const { return ValueTag::Int32; }
        ValueTag operator()(double) const { return ValueTag::Double; }
        ValueTag operator()(bool) const { return ValueTag::Bool; }
        ValueTag operator()(const StoredString &) const { return ValueTag::String; }
        ValueTag operator()(const ObjectSlot &) const { return ValueTag::Object; }
    };
    return std::visit(Visitor {}, value);
}

SettingsReader::SettingsReader(QByteArrayView bytes)
    : m_bytes(bytes.toByteArray())
{
}

void SettingsReader::fail(const char *what) const
{
    throw SettingsError(
        "settings block: " + std::string(what) + " at byte " + std::to_string(m_offset));
}

void SettingsReader::need(qsizetype count, const char *what) const
{
    if (count < 0 || count > remaining()) {
        fail(what);
    }
}

std::uint16_t SettingsReader::u16()
{
    need(2, "truncated 16-bit field");
    const auto v = qFromLittleEndian<std::uint16_t>(m_bytes.constData() + m_offset);
    m_offset += 2;
    return v;
}

std::uint32_t SettingsReader::u32()
{
    need(4, "truncated 32-bit field");
    const auto v = qFromLittleEndian<std::uint32_t>(m_bytes.constData() + m_offset);
    m_offset += 4;
    return v;
}

QByteArray SettingsReader::raw(qsizetype count)
{
    need(count, "truncated data");
    QByteArray out = m_bytes.mid(m_offset, count);
    m_offset += count;
    return out;
}

StoredValue SettingsReader::value()
{
    const auto tag = u16();
    switch (static_cast<ValueTag>(tag)) {
    case ValueTag::Int32:
        return static_cast<std::int32_t>(u32());
    case ValueTag::Double: {
        need(8, "truncated double");
        const auto bits = qFromLittleEndian<std::uint64_t>(m_bytes.constData() + m_offset);
        m_offset += 8;
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    case ValueTag::Bool: {
        const auto b = u16();
        if (b != 0 && b != 0xFFFF) {
            fail("boolean that is neither 0 nor 0xFFFF");
        }
        return b != 0;
    }
    case ValueTag::String: {
        const auto count = u32();
        if (count == 0) {
            return bareString();
        }
        if (count % 2 != 0 || count > maxStringBytes) {
            fail("bad string byte count");
        }
        need(qsizetype(count), "truncated string");
        const auto *p = reinterpret_cast<const char16_t *>(m_bytes.constData() + m_offset);
        qsizetype units = count / 2;
        QString text(units, Qt::Uninitialized);
        for (qsizetype i = 0; i < units; ++i) {
            text[i] = QChar(qFromLittleEndian<char16_t>(p + i));
        }
        m_offset += count;
        if (!text.isEmpty() && text.back() == QChar(0)) {
            text.chop(1);
        }
        return StoredString { text, false };
    }
    case ValueTag::Object: {
        need(16, "truncated object slot");
        ObjectSlot slot;
        std::memcpy(slot.bytes.data(), m_bytes.constData() + m_offset, 16);
        m_offset += 16;
        return slot;
    }
    }
    m_offset -= 2;
    fail("unknown value tag");
}

void SettingsReader::expectEnd() const
{
    if (!atEnd()) {
        fail("unexpected trailing bytes");
    }
}

void SettingsWriter::u16(std::uint16_t v)
{
    char b[2];
    qToLittleEndian(v, b);
    m_bytes.append(b, 2);
}

void SettingsWriter::u32(std::uint32_t v)
{
    char b[4];
    qToLittleEndian(v, b);
    m_bytes.append(b, 4);
}

void SettingsWriter::raw(QByteArrayView bytes)
{
    m_bytes.append(bytes);
}

void SettingsWriter::value(const StoredValue &v)
{
    u16(static_cast<std::uint16_t>(tagOf(v)));
    struct Visitor
    {
        SettingsWriter *w;
        void operator()(std::int32_t i) const { w->u32(static_cast<std::uint32_t>(i)); }
        void operator()(double d) const
        {
            std::uint64_t bits;
            std::memcpy(&bits, &d, sizeof bits);
            char b[8];
            qToLittleEndian(bits, b);
            w->m_bytes.append(b, 8);
        }
        void operator()(bool b) const { w->u16(b ? 0xFFFF : 0); }
        void operator()(const StoredString &s) const
        {
            if (s.bare) {
                w->u32(0);
                return;
            }
            w->u32(static_cast<std::uint32_t>((s.text.size() + 1) * 2));
            for (QChar c : s.text) {
                w->u16(c.unicode());
            }
            w->u16(0);
        }
        void operator()(const ObjectSlot &o) const
        {
            w->m_bytes.append(reinterpret_cast<const char *>(o.bytes.data()), 16);
        }
    };
    std::visit(Visitor { this }, v);
}

} // namespace platform
