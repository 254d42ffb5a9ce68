#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <cstdint>
#include <stdexcept>
#include <variant>

namespace platform {

// The persisted form in which embedded components store their initial settings: little-endian
// fields and typed values, each a 16-bit tag followed by its payload.
enum class ValueTag : std::uint16_t {
    Int32 = 3,
    Double = 5,
    String = 8,
    Bool = 11,
    Object = 13,
};

// A string as stored: normally its byte count includes one terminating zero character; a bare
// string is stored with byte count 0 and no bytes (it can only be empty).
struct StoredString
{
    QString text;
    bool bare = false;
    bool operator==(const StoredString &) const = default;
};

// An object slot: 16 opaque bytes (all zero when the slot is empty).
struct ObjectSlot
{
    std::array<std::uint8_t, 16> bytes {};
    bool operator==(const ObjectSlot &) const = default;
};

using StoredValue = std::variant<std::int32_t, double, bool, StoredString, ObjectSlot>;

ValueTag tagOf(const StoredValue &value);

class SettingsError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Reads a settings block front to back. Every read checks the bytes that remain and throws
// SettingsError, naming the offset, when the block is short or malformed. The reader keeps its
// own copy of the block, so it may be made from a temporary.
class SettingsReader
{
public:
    explicit SettingsReader(QByteArrayView bytes);

    std::uint16_t u16();
    std::uint32_t u32();
    QByteArray raw(qsizetype count);
    StoredValue value();

    qsizetype offset() const { return m_offset; }
    qsizetype remaining() const { return m_bytes.size() - m_offset; }
    bool atEnd() const { return remaining() == 0; }
    // Throws unless every byte was read.
    void expectEnd() const;

    // Largest string a block may hold, in bytes.
    static constexpr std::uint32_t maxStringBytes = 64 * 1024;

private:
    [[noreturn]] void fail(const char *what) const;
    void need(qsizetype count, const char *what) const;

    QByteArray m_bytes;
    qsizetype m_offset = 0;
};

class SettingsWriter
{
public:
    void u16(std::uint16_t v);
    void u32(std::uint32_t v);
    void raw(QByteArrayView bytes);
    void value(const StoredValue &v);

    const QByteArray &bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

// Convenience for building stored values.
inline StoredValue storedString(const QString &text)
{
    return StoredString { text, false };
}

inline StoredValue bareString()
{
    return StoredString { QString(), true };
}

} // namespace platform
