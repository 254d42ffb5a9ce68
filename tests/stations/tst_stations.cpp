#include "../common/standins.h"

#include "platform/runtime.h"
#include "platform/windowregistry.h"
#include "stations/catalogue.h"
#include "stations/selection.h"
#include "ui/builder.h"
#include "ui/controls.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHostAddress>
#include <QLineEdit>
#include <QSet>
#include <QTest>
#include <QUrl>
#include <QWheelEvent>
#include <QWindow>

namespace {

// A player whose URL cannot be written: every put is refused.
class RefusingPlayer : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString URL READ url)

public:
    using QWidget::QWidget;
    QString url() const { return {}; }
};

bool isDocumentationAddress(const QString &host)
{
    const QHostAddress a(host);
    return a.isInSubnet(QHostAddress(QStringLiteral("192.0.2.0")), 24)
        || a.isInSubnet(QHostAddress(QStringLiteral("198.51.100.0")), 24)
        || a.isInSubnet(QHostAddress(QStringLiteral("203.0.113.0")), 24);
}

bool isExampleName(const QString &host)
{
    return host.endsWith(QLatin1String(".example.com"))
        || host.endsWith(QLatin1String(".example.net"))
        || host.endsWith(QLatin1String(".example.org"));
}

} // namespace

class TestStations : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void namesInOrder();
    void endpointShapes_data();
    void endpointShapes();
    void sharedEndpointsAndHosts();
    void generatedPlaylistQuery();
    void pickByArrowKeys();
    void pickByMouse();
    void typingTunesNothing_data();
    void typingTunesNothing();
    void nearMissesMatchNothing_data();
    void nearMissesMatchNothing();
    void refusedPutIsARuntimeError();

private:
    void pickFromList(int row);
    void clickTextField();
    QWidget *form1() const { return platform::window(QStringLiteral("Form1")); }
    ui::ComboBox *combo() const;
    RecordingPlayer *player() const;
};

void TestStations::initTestCase()
{
    registerStandIns();
    platform::registerWindow(QStringLiteral("Form1"), [] {
        QWidget *form = ui::buildWindow(ui::form1Description(stations::displayNames()));
        auto *list = form->findChild<ui::ComboBox *>(QStringLiteral("Combo1"));
        QObject::connect(
            list, &ui::ComboBox::Click, [] { platform::runHandler(stations::combo1Click); });
        return form;
    });
    platform::window(QStringLiteral("Form1"))->show();
    QVERIFY(QTest::qWaitForWindowExposed(platform::window(QStringLiteral("Form1"))));
}

ui::ComboBox *TestStations::combo() const
{
    return qobject_cast<ui::ComboBox *>(
        platform::control(QStringLiteral("Form1"), QStringLiteral("Combo1")));
}

RecordingPlayer *TestStations::player() const
{
    return qobject_cast<RecordingPlayer *>(
        platform::control(QStringLiteral("Form1"), QStringLiteral("wm")));
}

// Drops the list down and clicks an item, through the window system as a user would.
void TestStations::pickFromList(int row)
{
    combo()->showPopup();
    QAbstractItemView *view = combo()->view();
    QTRY_VERIFY(view->isVisible());
    const QModelIndex index = view->model()->index(row, 0);
    view->scrollTo(index);
    QWidget *popup = view->window();
    const QPoint at = view->viewport()->mapTo(popup, view->visualRect(index).center());
    QTest::mouseClick(popup->windowHandle(), Qt::LeftButton, {}, at);
    QTRY_VERIFY(!view->isVisible());
}

// Makes Form1 the active window and clicks into the list's text field.
void TestStations::clickTextField()
{
    form1()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form1()));
    QTest::mouseClick(form1()->windowHandle(), Qt::LeftButton, {}, QPoint(60, 109));
    QTRY_VERIFY(combo()->hasFocus());
}

void TestStations::namesInOrder()
{
    const QStringList expected {
        "Radio GoonGoo0n",
        "Radio Today (Dhaka)",
        "Radio Today(Chitagong)",
        "Radio Foorti",
        "Radio Dhaka",
        "Radio 2Fun",
        "Radio Metro",
        "Online Gaan",
        "Radio Infinity",
        "Radio ArToNaD",
        "Radio 71",
        "Fantastic Bangali",
        "Radio Himchori",
        "Radio Josh",
        "Pioneer FM",
        "Radio Bangla Net",
        "Radio UnMix",
        "Radio Protitee",
        "Radio Bijoy",
        "Radio Lemon24",
        "ShoutBD",
        "Bangla Wadio",
        "Radio Oniyom",
        "Radio Northstar",
        "Onuvuti Radio",
        "Radio Apon",
        "Radio Adda",
        "Japan Radio",
        "Bangladesh Betar Live",
        "Washingtone Bangla Radio",
        "BBC Bangla(Poricrroma)",
        "BBC Bangla (Probaho)",
        "BBC Bangla (Prottusha)",
        "BBC Bangla (Provati)",
        "Radio Techvision",
    };
    QCOMPARE(stations::displayNames(), expected);
    QCOMPARE(stations::displayNames()[0][13], QChar(u'0'));
    QStringList items;
    for (int i = 0; i < combo()->count(); ++i) {
        items << combo()->itemText(i);
    }
    QCOMPARE(items, expected);
    for (const QString &name : expected) {
        QVERIFY(name.size() >= 7 && name.size() <= 24);
    }
}

void TestStations::endpointShapes_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<bool>("numericHost");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("pathPattern");
    QTest::addColumn<QString>("query");
    const int roots[][2] = { { 1, 8032 }, { 2, 8000 }, { 3, 8000 }, { 4, 1400 }, { 5, 8000 },
        { 6, 7600 }, { 7, 8046 }, { 8, 8400 }, { 9, 8444 }, { 10, 8070 }, { 12, 8028 },
        { 13, 8001 }, { 14, 17644 }, { 17, 9000 }, { 18, 8999 }, { 19, 8000 }, { 20, 8000 },
        { 21, 8205 }, { 22, 8201 }, { 25, 8205 }, { 29, 1200 } };
    for (const auto &r : roots) {
        QTest::addRow("%d", r[0]) << r[0] << "http" << true << r[1] << ""
                                  << "";
    }
    QTest::newRow("15") << 15 << "http" << false << -1 << "^/pioneerfm\\.asx$"
                        << "";
    QTest::newRow("16") << 16 << "mms" << false << -1 << "^/radiobanglanet137774$"
                        << "";
    QTest::newRow("23") << 23 << "http" << false << 8000 << ""
                        << "";
    QTest::newRow("24") << 24 << "http" << false << -1 << "^/link/stream/index\\.php$"
                        << "station=northstar";
    QTest::newRow("26") << 26 << "http" << false << -1
                        << "^/cast/tunein\\.php/[^/]+/playlist\\.asx$"
                        << "";
    QTest::newRow("27") << 27 << "http" << false << -1 << "^/RadioAdda$"
                        << "";
    QTest::newRow("11") << 11 << "http" << false << -1 << "^/RadioAdda$"
                        << "";
    QTest::newRow("28") << 28 << "http" << false << -1 << "^/rj/asx/en/bengali\\.asx$"
                        << "";
    QTest::newRow("30") << 30 << "http" << false << 8000 << ""
                        << "";
    QTest::newRow("31") << 31 << "http" << false << -1
                        << "^/bengali/meta/tx/nb/beng_parikrama_au_nb\\.asx$"
                        << "";
    QTest::newRow("35") << 35 << "http" << false << -1 << "^/sound\\.m3u$"
                        << "";
}

void TestStations::endpointShapes()
{
    QFETCH(int, number);
    QFETCH(QString, scheme);
    QFETCH(bool, numericHost);
    QFETCH(int, port);
    QFETCH(QString, pathPattern);
    QFETCH(QString, query);
    const stations::Station &s = stations::catalogue().at(number - 1);
    const QUrl url(s.url, QUrl::StrictMode);
    QVERIFY(url.isValid());
    QCOMPARE(url.scheme(), scheme);
    QCOMPARE(url.port(), port);
    QCOMPARE(url.query(QUrl::FullyEncoded), query);
    const QHostAddress address(url.host());
    QCOMPARE(address.protocol() == QAbstractSocket::IPv4Protocol, numericHost);
    if (RADIO_STATION_HOSTS_ARE_DEFAULT) { // a distributor's own hosts are real ones
        QVERIFY2(numericHost ? isDocumentationAddress(url.host()) : isExampleName(url.host()),
            qPrintable(url.host()));
    }
    if (pathPattern.isEmpty()) {
        // No path: the endpoint ends right after the host or port, without a closing "/".
        const QString expectedEnd = port >= 0 ? QStringLiteral(":%1").arg(port) : url.host();
        QVERIFY2(s.url.endsWith(expectedEnd), qPrintable(s.url));
        QVERIFY(url.path().isEmpty());
    } else {
        QVERIFY2(
            QRegularExpression(pathPattern).match(url.path()).hasMatch(), qPrintable(url.path()));
    }
    QCOMPARE(s.endpoint.toString(), s.url);
}

void TestStations::sharedEndpointsAndHosts()
{
    const auto &c = stations::catalogue();
    QCOMPARE(c.size(), size_t(35));
    QCOMPARE(c[10].url, c[26].url); // Radio 71 and Radio Adda
    QCOMPARE(c[24].url, c[20].url); // Onuvuti Radio and ShoutBD
    QSet<QString> endpoints;
    QSet<QString> hostSet;
    int mms = 0;
    for (const auto &s : c) {
        endpoints.insert(s.url);
        hostSet.insert(s.endpoint.host);
        mms += s.endpoint.scheme == QLatin1String("mms");
    }
    QCOMPARE(endpoints.size(), 33);
    QCOMPARE(hostSet.size(), 27);
    QCOMPARE(mms, 1);
    auto host = [&](int n) { return c[n - 1].endpoint.host; };
    QVERIFY(host(1) == host(8) && host(8) == host(9));
    QCOMPARE(host(10), host(12));
    QVERIFY(host(21) == host(22) && host(22) == host(25));
    QVERIFY(host(32) == host(33) && host(33) == host(34));
    QVERIFY(host(2) != host(3));
}

void TestStations::generatedPlaylistQuery()
{
    const auto &c = stations::catalogue();
    const QRegularExpression shape(QStringLiteral(
        "^file=bengali/tx/nb/bengali_(\\d{4})\\.wma&BBC-UID=([0-9a-f]{64})&SSO2-UID=$"));
    QStringList digits;
    QSet<QString> uids;
    for (int n = 32; n <= 34; ++n) {
        QCOMPARE(c[n - 1].endpoint.path, QStringLiteral("/generateasx.esi"));
        const auto m = shape.match(c[n - 1].endpoint.query);
        QVERIFY2(m.hasMatch(), qPrintable(c[n - 1].endpoint.query));
        digits << m.captured(1);
        uids.insert(m.captured(2));
        QVERIFY(c[n - 1].url.endsWith(QLatin1String("SSO2-UID=")));
    }
    QCOMPARE(digits, QStringList({ "1330", "0130", "0030" }));
    QCOMPARE(uids.size(), 1);
}

void TestStations::pickByArrowKeys()
{
    // Through the window system: each step of an arrow key selects and tunes, one put per step,
    // with the list closed and with the list dropped down.
    const auto &c = stations::catalogue();
    pickFromList(4); // Radio Dhaka
    clickTextField();
    player()->puts.clear();
    QWindow *window = form1()->windowHandle();
    QTest::keyClick(window, Qt::Key_Down);
    QTest::keyClick(window, Qt::Key_Down);
    QTest::keyClick(window, Qt::Key_Up);
    QCOMPARE(player()->puts, QStringList({ c[5].url, c[6].url, c[5].url }));

    QTest::keyClick(window, Qt::Key_Down, Qt::AltModifier);
    QAbstractItemView *view = combo()->view();
    QTRY_VERIFY(view->isVisible());
    QTest::keyClick(window, Qt::Key_Down);
    QCOMPARE(combo()->text(), c[6].name);
    QTest::keyClick(window, Qt::Key_Down);
    QTest::keyClick(window, Qt::Key_Up);
    QCOMPARE(view->currentIndex().row(), 6); // the highlight is the selection
    QTest::keyClick(window, Qt::Key_Escape);
    QTRY_VERIFY(!view->isVisible());
    QCOMPARE(player()->puts,
        QStringList({ c[5].url, c[6].url, c[5].url, c[6].url, c[7].url, c[6].url }));
    QCOMPARE(combo()->text(), c[6].name);

    // The wheel does not step the list.
    const QPointF at(60, 13);
    QWheelEvent wheel(at, combo()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
        Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(combo(), &wheel);
    QCOMPARE(player()->puts.size(), 6);
    QCOMPARE(combo()->currentIndex(), 6);
}

void TestStations::pickByMouse()
{
    player()->puts.clear();
    const auto &c = stations::catalogue();
    pickFromList(20); // ShoutBD
    pickFromList(24); // Onuvuti Radio: the same endpoint
    pickFromList(24); // the same station again is put again
    QCOMPARE(player()->puts, QStringList({ c[20].url, c[20].url, c[20].url }));
    QCOMPARE(combo()->text(), QStringLiteral("Onuvuti Radio"));
}

void TestStations::typingTunesNothing_data()
{
    QTest::addColumn<QString>("then");
    QTest::newRow("Return") << "Return";
    QTest::newRow("Tab") << "Tab";
    QTest::newRow("a click on the player") << "click";
    QTest::newRow("another window") << "window";
    QTest::newRow("the list dropped down and closed") << "drop";
}

void TestStations::typingTunesNothing()
{
    // A station's exact name typed into the text field, then whatever leaves the field: no put,
    // and the selection stays where it was.
    QFETCH(QString, then);
    QWindow *window = form1()->windowHandle();
    pickFromList(0); // another station is selected
    clickTextField();
    const int selected = combo()->currentIndex();
    player()->puts.clear();
    QTest::keyClick(window, Qt::Key_A, Qt::ControlModifier);
    for (const char c : QByteArrayLiteral("Radio Dhaka")) {
        QTest::keyClick(window, c);
    }
    QCOMPARE(combo()->text(), QStringLiteral("Radio Dhaka"));
    if (then == QLatin1String("Return")) {
        QTest::keyClick(window, Qt::Key_Return);
    } else if (then == QLatin1String("Tab")) {
        QTest::keyClick(window, Qt::Key_Tab);
        QVERIFY(!combo()->hasFocus());
    } else if (then == QLatin1String("click")) {
        QTest::mouseClick(window, Qt::LeftButton, {}, QPoint(120, 200));
        QTRY_VERIFY(player()->hasFocus());
    } else if (then == QLatin1String("window")) {
        QWidget other;
        other.setGeometry(0, 0, 60, 60);
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QVERIFY(!form1()->isActiveWindow());
    } else {
        QTest::keyClick(window, Qt::Key_Down, Qt::AltModifier);
        QTRY_VERIFY(combo()->view()->isVisible());
        QTest::keyClick(window, Qt::Key_Escape);
        QTRY_VERIFY(!combo()->view()->isVisible());
    }
    QCoreApplication::processEvents();
    QVERIFY(player()->puts.isEmpty());
    QCOMPARE(combo()->currentIndex(), selected);
    // The same name picked from the list does tune.
    pickFromList(4);
    QCOMPARE(player()->puts, QStringList { stations::catalogue()[4].url });
}

void TestStations::nearMissesMatchNothing_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("initial text") << "             Radio List";
    QTest::newRow("case") << "radio foorti";
    QTest::newRow("blank before parenthesis") << "Radio Today (Chitagong)";
    QTest::newRow("blank missing") << "Radio Today(Dhaka)";
    QTest::newRow("trailing blank") << "ShoutBD ";
    QTest::newRow("prefix") << "Radio";
    QTest::newRow("letter O for zero") << "Radio GoonGooOn";
    QTest::newRow("empty") << "";
}

void TestStations::nearMissesMatchNothing()
{
    QFETCH(QString, text);
    player()->puts.clear();
    combo()->setText(text);
    stations::combo1Click();
    QVERIFY(player()->puts.isEmpty());
}

void TestStations::refusedPutIsARuntimeError()
{
    // A second window whose player refuses the put stands in for Form1 here.
    platform::destroyWindows();
    platform::registerComponent(platform::mediaPlayerClass,
        [](QWidget *parent, const QByteArray &) { return new RefusingPlayer(parent); });
    QList<int> reported;
    platform::setErrorReporter([&](const platform::RuntimeError &e) { reported << e.number(); });
    combo()->setText(QStringLiteral("Radio Dhaka"));
    platform::runHandler(stations::combo1Click);
    QCOMPARE(reported, QList<int> { 383 });
    platform::setErrorReporter({});
}

QTEST_MAIN(TestStations)
#include "tst_stations.moc"
