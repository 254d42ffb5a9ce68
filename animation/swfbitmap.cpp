#include "animation/swfmovie.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>

namespace animation::swf {

namespace {

bool startsWith(QByteArrayView data, std::initializer_list<unsigned char> sig)
{
    if (data.size() < qsizetype(sig.size())) {
        return false;
    }
    qsizetype i = 0;
    for (unsigned char c : sig) {
        if (static_cast<unsigned char>(data[i++]) != c) {
            return false;
        }
    }
    return true;
}

// Removes the stray EOI+SOI pairs some writers put before the frame header.
QByteArray cleanJpeg(QByteArrayView data)
{
    QByteArray out = data.toByteArray();
    if (startsWith(out, { 0xFF, 0xD9, 0xFF, 0xD8 })) {
        out.remove(0, 4);
    }
    // A further pair may sit between segments before SOF0; splice it out.
    const QByteArray pair("\xFF\xD9\xFF\xD8", 4);
    const qsizetype sof = out.indexOf(QByteArray("\xFF\xC0", 2));
    const qsizetype at = out.indexOf(pair, 2);
    if (at > 0 && (sof < 0 || at < sof)) {
        out.remove(at, 4);
    }
    if (!out.endsWith(QByteArray("\xFF\xD9", 2))) {
        out.append("\xFF\xD9", 2);
    }
    return out;
}

QImage readImage(const QByteArray &bytes, qint64 maxPixels)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid() || qint64(size.width()) * size.height() > maxPixels) {
        return {};
    }
    QImage img;
    if (!reader.read(&img)) {
        return {};
    }
    return img.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

void clampPremultiplied(QImage &img)
{
    for (int y = 0; y < img.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = line[x];
            const int a = qAlpha(p);
            line[x] = qRgba(std::min(qRed(p), a), std::min(qGreen(p), a), std::min(qBlue(p), a), a);
        }
    }
}

} // namespace

QImage decodeJpegData(QByteArrayView data, QByteArrayView tables, qint64 maxPixels)
{
    if (startsWith(data, { 0x89, 'P', 'N', 'G' }) || startsWith(data, { 'G', 'I', 'F', '8' })) {
        return readImage(data.toByteArray(), maxPixels);
    }
    QByteArray jpeg;
    if (!tables.isEmpty()) {
        // Tables without their EOI, then the image without its SOI.
        QByteArray t = cleanJpeg(tables);
        if (t.endsWith(QByteArray("\xFF\xD9", 2))) {
            t.chop(2);
        }
        QByteArray img = cleanJpeg(data);
        if (img.startsWith(QByteArray("\xFF\xD8", 2))) {
            img.remove(0, 2);
        }
        jpeg = t + img;
    } else {
        jpeg = cleanJpeg(data);
    }
    return readImage(jpeg, maxPixels);
}

QImage decodeJpegWithAlpha(QByteArrayView tagBody, qint64 maxPixels)
{
    // u16 id already consumed by the caller; here: u32 alpha offset, image, zlib alpha plane.
    Reader r(tagBody);
    const std::uint32_t offset = r.u32();
    if (offset > std::uint64_t(r.remaining())) {
        return {};
    }
    const QByteArrayView image = r.bytes(qsizetype(offset));
    const QByteArrayView alpha = r.rest();
    QImage img = decodeJpegData(image, {}, maxPixels);
    if (img.isNull() || startsWith(image, { 0x89, 'P', 'N', 'G' })
        || startsWith(image, { 'G', 'I', 'F', '8' })) {
        return img;
    }
    const qsizetype pixels = qsizetype(img.width()) * img.height();
    const QByteArray plane = inflateCapped(alpha, pixels);
    if (plane.size() < pixels) {
        return img; // no usable alpha: keep it opaque
    }
    qsizetype i = 0;
    for (int y = 0; y < img.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const int a = static_cast<std::uint8_t>(plane[i++]);
            const QRgb p = line[x];
            // Colour counts as premultiplied by the plane's alpha.
            line[x] = qRgba(std::min(qRed(p), a), std::min(qGreen(p), a), std::min(qBlue(p), a), a);
        }
    }
    return img;
}

QImage decodeLossless(QByteArrayView tagBody, bool withAlpha, qint64 maxPixels)
{
    Reader r(tagBody);
    const int format = r.u8();
    const int width = r.u16();
    const int height = r.u16();
    if (width == 0 || height == 0 || qint64(width) * height > maxPixels) {
        return {};
    }
    int tableSize = 0;
    if (format == 3) {
        tableSize = r.u8() + 1;
    } else if (format != 4 && format != 5) {
        return {};
    }
    const QByteArrayView compressed = r.rest();
    QImage img(width, height, QImage::Format_ARGB32_Premultiplied);
    if (img.isNull()) {
        return {};
    }
    if (format == 3) {
        const int entry = withAlpha ? 4 : 3;
        const qsizetype stride = (qsizetype(width) + 3) & ~qsizetype(3);
        const qsizetype need = qsizetype(tableSize) * entry + stride * height;
        const QByteArray data = inflateCapped(compressed, need);
        if (data.size() < need) {
            return {};
        }
        std::vector<QRgb> table(256, withAlpha ? qRgba(0, 0, 0, 0) : qRgba(0, 0, 0, 255));
        for (int i = 0; i < tableSize; ++i) {
            const auto *p = reinterpret_cast<const uchar *>(data.constData()) + i * entry;
            const int a = withAlpha ? p[3] : 255;
            table[i]
                = qRgba(std::min<int>(p[0], a), std::min<int>(p[1], a), std::min<int>(p[2], a), a);
        }
        const auto *pix = reinterpret_cast<const uchar *>(data.constData()) + tableSize * entry;
        for (int y = 0; y < height; ++y) {
            auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
            for (int x = 0; x < width; ++x) {
                line[x] = table[pix[y * stride + x]];
            }
        }
    } else if (format == 4) {
        if (withAlpha) {
            return {};
        }
        const qsizetype stride = ((qsizetype(width) + 1) & ~qsizetype(1)) * 2;
        const qsizetype need = stride * height;
        const QByteArray data = inflateCapped(compressed, need);
        if (data.size() < need) {
            return {};
        }
        const auto *pix = reinterpret_cast<const uchar *>(data.constData());
        for (int y = 0; y < height; ++y) {
            auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
            for (int x = 0; x < width; ++x) {
                const int v = (pix[y * stride + 2 * x] << 8) | pix[y * stride + 2 * x + 1];
                const int r5 = (v >> 10) & 31, g5 = (v >> 5) & 31, b5 = v & 31;
                line[x] = qRgb(r5 * 255 / 31, g5 * 255 / 31, b5 * 255 / 31);
            }
        }
    } else {
        const qsizetype need = qsizetype(width) * height * 4;
        const QByteArray data = inflateCapped(compressed, need);
        if (data.size() < need) {
            return {};
        }
        const auto *pix = reinterpret_cast<const uchar *>(data.constData());
        for (int y = 0; y < height; ++y) {
            auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
            for (int x = 0; x < width; ++x) {
                const uchar *p = pix + (qsizetype(y) * width + x) * 4;
                const int a = withAlpha ? p[0] : 255;
                line[x] = qRgba(
                    std::min<int>(p[1], a), std::min<int>(p[2], a), std::min<int>(p[3], a), a);
            }
        }
    }
    if (!withAlpha) {
        return img;
    }
    clampPremultiplied(img);
    return img;
}

} // namespace animation::swf
