#include "network/useragent.h"
#include "platform/version.h"
#include "resources/identity.h"
#include "resources/pictures.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMap>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

QString text(std::string_view value)
{
    return QString::fromUtf8(value.data(), qsizetype(value.size()));
}

// The keys of the [Desktop Entry] group of a desktop entry file.
QMap<QString, QString> readDesktopEntry(const QString &path)
{
    QMap<QString, QString> keys;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return keys;
    bool inEntry = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (inEntry && equals > 0)
            keys.insert(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
    }
    return keys;
}

struct Metainfo
{
    QString id;
    QString name;
    QString launchable;
    QString binary;
    QStringList releaseVersions;
    QString error;
};

Metainfo readMetainfo(const QString &path)
{
    Metainfo info;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        info.error = file.errorString();
        return info;
    }
    QXmlStreamReader xml(&file);
    QStringList stack;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            stack.append(xml.name().toString());
            const QString where = stack.join(QLatin1Char('/'));
            if (where == QLatin1String("component/releases/release"))
                info.releaseVersions.append(
                    xml.attributes().value(QLatin1String("version")).toString());
            else if (where == QLatin1String("component/id"))
                info.id = xml.readElementText();
            else if (where == QLatin1String("component/name")
                && !xml.attributes().hasAttribute(QLatin1String("xml:lang")))
                info.name = xml.readElementText();
            else if (where == QLatin1String("component/launchable"))
                info.launchable = xml.readElementText();
            else if (where == QLatin1String("component/provides/binary"))
                info.binary = xml.readElementText();
            if (xml.isEndElement())
                stack.removeLast(); // readElementText() consumed the end tag
        } else if (xml.isEndElement()) {
            stack.removeLast();
        }
    }
    if (xml.hasError())
        info.error = xml.errorString();
    return info;
}

} // namespace

class TestIdentity : public QObject
{
    Q_OBJECT

private slots:
    void versionTexts();
    void desktopEntry();
    void metainfo();
    void hicolorIcon();
};

// The texts the program names its version by follow the project version: major.minor with two
// minor digits, and the project's name with major.minor as the user agent.
void TestIdentity::versionTexts()
{
    QCOMPARE(QString::fromLatin1(platform::versionText),
        QStringLiteral("%1.%2")
            .arg(RADIO_VERSION_MAJOR)
            .arg(RADIO_VERSION_MINOR, 2, 10, QLatin1Char('0')));
    QCOMPARE(QString::fromLatin1(network::userAgent),
        QStringLiteral(RADIO_PROJECT_NAME "/%1.%2")
            .arg(RADIO_VERSION_MAJOR)
            .arg(RADIO_VERSION_MINOR));
}

void TestIdentity::desktopEntry()
{
    const auto entry
        = readDesktopEntry(QStringLiteral(RESOURCES_SOURCE_DIR "/tarvelin-radio.desktop"));
    QVERIFY(!entry.isEmpty());
    QCOMPARE(entry.value(QStringLiteral("Type")), QStringLiteral("Application"));
    QCOMPARE(entry.value(QStringLiteral("Name")), text(resources::title));
    QCOMPARE(entry.value(QStringLiteral("Exec")), text(resources::desktopFileName));
    QCOMPARE(entry.value(QStringLiteral("Icon")), text(resources::desktopFileName));
    QCOMPARE(entry.value(QStringLiteral("Categories")), QStringLiteral("AudioVideo;Audio;Player;"));
}

void TestIdentity::metainfo()
{
    const Metainfo info = readMetainfo(QStringLiteral(RESOURCES_METAINFO));
    QVERIFY2(info.error.isEmpty(), qPrintable(info.error));
    // The file is named after the id, as AppStream looks it up.
    QCOMPARE(info.id + QLatin1String(".metainfo.xml"),
        QFileInfo(QStringLiteral(RESOURCES_METAINFO)).fileName());
    QCOMPARE(info.name, text(resources::title));
    QCOMPARE(info.launchable, text(resources::desktopFileName) + QLatin1String(".desktop"));
    QCOMPARE(info.binary, text(resources::desktopFileName));
    QCOMPARE(info.releaseVersions, QStringList { QString::fromLatin1(platform::versionText) });
}

// The icon theme's 128 x 128 icon is the application icon, centred on white.
void TestIdentity::hicolorIcon()
{
    const QImage themed(QStringLiteral(RESOURCES_PICTURE_DIR "/tarvelin-radio.png"));
    QCOMPARE(themed.size(), QSize(128, 128));
    QVERIFY(!themed.hasAlphaChannel());
    const QImage icon = QImage(resources::picturePath(resources::Picture::Icon))
                            .scaled(128, 128, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                            .convertToFormat(QImage::Format_RGB32);
    QCOMPARE(icon.size(), QSize(118, 128));
    const QImage rgb = themed.convertToFormat(QImage::Format_RGB32);
    const int left = (128 - icon.width()) / 2;
    long long difference = 0;
    for (int y = 0; y < 128; ++y) {
        for (int x = 0; x < 128; ++x) {
            const QRgb t = rgb.pixel(x, y);
            if (x < left || x >= left + icon.width()) {
                QVERIFY2(qRed(t) == 255 && qGreen(t) == 255 && qBlue(t) == 255,
                    qPrintable(QStringLiteral("margin at %1,%2").arg(x).arg(y)));
                continue;
            }
            const QRgb i = icon.pixel(x - left, y);
            difference += qAbs(qRed(t) - qRed(i)) + qAbs(qGreen(t) - qGreen(i))
                + qAbs(qBlue(t) - qBlue(i));
        }
    }
    const double meanDifference = double(difference) / (3.0 * icon.width() * icon.height());
    QVERIFY2(meanDifference < 6.0, qPrintable(QString::number(meanDifference)));
}

QTEST_MAIN(TestIdentity)
#include "tst_identity.moc"
