#include "app/windowplacement.h"

#include <QTest>

#include <limits>

// Screens of a desk: a 1920 x 1080 monitor and a 1280 x 1024 one to its right.
class TestWindowPlacement : public QObject
{
    Q_OBJECT

private slots:
    void placeWindow_data();
    void placeWindow();
    void storedValuesAreMadeSafe_data();
    void storedValuesAreMadeSafe();
};

void TestWindowPlacement::storedValuesAreMadeSafe_data()
{
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("height");
    QTest::addColumn<QPoint>("placed");
    QTest::addColumn<int>("placedHeight");
    const int most = std::numeric_limits<int>::max();
    const int least = std::numeric_limits<int>::min();
    // The available area: 1920 x 1053 under a 27-pixel panel.
    QTest::newRow("as stored") << 30 << 40 << 600 << QPoint(30, 40) << 600;
    QTest::newRow("height 0 takes the least") << 0 << 0 << 0 << QPoint(0, 0) << 550;
    QTest::newRow("negative height") << 0 << 0 << -400 << QPoint(0, 0) << 550;
    QTest::newRow("height 100000 fits the area") << 0 << 27 << 100000 << QPoint(0, 27) << 1053;
    QTest::newRow("height at the integer maximum") << 0 << 27 << most << QPoint(0, 27) << 1053;
    // (1920 - 800) / 2 = 560, 27 + (1053 - 600) / 2 = 253
    QTest::newRow("Left at the integer maximum") << most << 40 << 600 << QPoint(560, 253) << 600;
    QTest::newRow("Left 20 short of it") << most - 20 << 40 << 600 << QPoint(560, 253) << 600;
    QTest::newRow("Top at the integer maximum") << 30 << most << 600 << QPoint(560, 253) << 600;
    QTest::newRow("both at the integer minimum")
        << least << least << 600 << QPoint(560, 253) << 600;
}

// Stored values far out of range opened a window 32767 pixels high, or ran
// the placement arithmetic past the integer maximum (undefined behaviour,
// which skipped the check for a place on no screen).
void TestWindowPlacement::storedValuesAreMadeSafe()
{
    QFETCH(int, left);
    QFETCH(int, top);
    QFETCH(int, height);
    QFETCH(QPoint, placed);
    QFETCH(int, placedHeight);
    const QRect screen(0, 0, 1920, 1080);
    const QRect area(0, 27, 1920, 1053);
    const QRect stored = StoredWindowRect(left, top, 800, height, 550, area);
    QCOMPARE(stored.size(), QSize(800, placedHeight));
    QCOMPARE(PlaceWindow(stored, {screen}, area), placed);
}

void TestWindowPlacement::placeWindow_data()
{
    QTest::addColumn<QRect>("stored");
    QTest::addColumn<QList<QRect>>("screens");
    QTest::addColumn<QRect>("primaryArea");
    QTest::addColumn<QPoint>("placed");

    const QRect left(0, 0, 1920, 1080);
    const QRect right(1920, 0, 1280, 1024);
    const QList<QRect> one{left};
    const QList<QRect> two{left, right};

    QTest::newRow("first start, top left corner")
        << QRect(0, 0, 800, 550) << one << left << QPoint(0, 0);
    QTest::newRow("somewhere on the screen")
        << QRect(300, 200, 800, 600) << one << left << QPoint(300, 200);
    // (1920 - 800) / 2 = 560, (1080 - 550) / 2 = 265
    QTest::newRow("Left 99999, Top -5000")
        << QRect(99999, -5000, 800, 550) << one << left << QPoint(560, 265);
    QTest::newRow("Left 99999 alone")
        << QRect(99999, 0, 800, 550) << one << left << QPoint(560, 265);
    QTest::newRow("Top -5000 alone")
        << QRect(0, -5000, 800, 550) << one << left << QPoint(560, 265);
    QTest::newRow("far below") << QRect(0, 4000, 800, 550) << one << left << QPoint(560, 265);
    QTest::newRow("on the second screen")
        << QRect(2000, 100, 800, 550) << two << left << QPoint(2000, 100);
    QTest::newRow("the second screen has gone")
        << QRect(2000, 100, 800, 550) << one << left << QPoint(560, 265);
    QTest::newRow("across both screens")
        << QRect(1500, 100, 800, 550) << two << left << QPoint(1500, 100);
    // The top band is 30 pixels high: 18 of them on the screen are enough.
    QTest::newRow("12 pixels above the top")
        << QRect(40, -12, 800, 550) << one << left << QPoint(40, -12);
    QTest::newRow("title bar above the top")
        << QRect(40, -25, 800, 550) << one << left << QPoint(560, 265);
    // 100 pixels of the band must show across.
    QTest::newRow("120 pixels left on the right edge")
        << QRect(1800, 40, 800, 550) << one << left << QPoint(1800, 40);
    QTest::newRow("70 pixels left on the right edge")
        << QRect(1850, 40, 800, 550) << one << left << QPoint(560, 265);
    QTest::newRow("100 pixels left on the left edge")
        << QRect(-700, 40, 800, 550) << one << left << QPoint(-700, 40);
    QTest::newRow("50 pixels left on the left edge")
        << QRect(-750, 40, 800, 550) << one << left << QPoint(560, 265);
    // A panel on top: 27 + (1053 - 550) / 2 = 278.
    QTest::newRow("centred within the available area")
        << QRect(99999, 99999, 800, 550) << one << QRect(0, 27, 1920, 1053) << QPoint(560, 278);
    // 1920 + (1280 - 800) / 2 = 2160, (1024 - 550) / 2 = 237.
    QTest::newRow("the primary screen is the right one")
        << QRect(-5000, 0, 800, 550) << two << right << QPoint(2160, 237);
    // (1024 - 800) / 2 = 112; a 700-high window on 600 rows starts at the top.
    QTest::newRow("taller than the screen")
        << QRect(5000, 5000, 800, 700) << QList<QRect>{QRect(0, 0, 1024, 600)}
        << QRect(0, 0, 1024, 600) << QPoint(112, 0);
}

void TestWindowPlacement::placeWindow()
{
    QFETCH(QRect, stored);
    QFETCH(QList<QRect>, screens);
    QFETCH(QRect, primaryArea);
    QFETCH(QPoint, placed);
    QCOMPARE(PlaceWindow(stored, screens, primaryArea), placed);
}

QTEST_APPLESS_MAIN(TestWindowPlacement)
#include "tst_windowplacement.moc"
