#include "metering/tmetering_f.h"
#include "widgets/piegauge.h"
#include "widgets/stringgrid.h"

#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

// The Metering page on its own: what a prepared page lists and how the
// readings and the blue highlight move through the grid.
class tst_MeteringPage : public QObject
{
    Q_OBJECT

private slots:
    void pageWithoutActiveModulesCannotStart();
    void pageListsActiveModulesInAddressOrder();
    void readingGoesToItsRowAndTakesTheHighlight();
    void idleTickTurnsTheLastRowBlack();
    void rowReadLastIsDrawnBlue();
    void startAndStopSwapTheButtonsAndShowTheGauge();
    void gaugeFollowsThePeriod();
};

namespace {

std::array<int, kModuleCount + 1> activeSet(std::initializer_list<int> modules)
{
    std::array<int, kModuleCount + 1> active{};
    active.fill(kMarkOff);
    for (const int m : modules)
        active[size_t(m)] = kMarkOn;
    return active;
}

ReadingTexts texts(const QString &first)
{
    ReadingTexts t;
    t.fill(QStringLiteral("----"));
    t[0] = first;
    return t;
}

QStringList row(const StringGrid *grid, int r)
{
    QStringList cells;
    for (int c = 0; c < grid->ColCount(); ++c)
        cells << grid->Cell(c, r);
    return cells;
}

// Whether any pixel of the cell's painting is pure blue text.
bool hasBlueText(TMetering_F &page, int col, int r)
{
    QImage image(64, 21, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    page.Metering_GridDrawCell(painter, col, r, QRect(0, 0, 64, 21));
    painter.end();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.blue() > 200 && c.red() < 80 && c.green() < 80)
                return true;
        }
    }
    return false;
}

} // namespace

void tst_MeteringPage::pageWithoutActiveModulesCannotStart()
{
    TMetering_F page;
    page.Fill_Metering_Page(activeSet({5}));
    page.Fill_Metering_Page(activeSet({}));
    QCOMPARE(page.metering_T->topLevelItemCount(), 0);
    QCOMPARE(page.Metering_Grid->RowCount(), 1);
    QCOMPARE(page.Metering_Grid->FixedRows(), 0);
    QCOMPARE(row(page.Metering_Grid, 0), QStringList(11, QString()));
    QVERIFY(!page.start_B->isEnabled());
}

void tst_MeteringPage::pageListsActiveModulesInAddressOrder()
{
    TMetering_F page;
    page.Fill_Metering_Page(activeSet({40, 2, 7}));
    QCOMPARE(page.metering_T->topLevelItemCount(), 3);
    QCOMPARE(page.metering_T->topLevelItem(0)->text(0), QStringLiteral("Module 2"));
    QCOMPARE(page.metering_T->topLevelItem(2)->text(0), QStringLiteral("Module 40"));
    QCOMPARE(page.Metering_Grid->RowCount(), 4);
    QCOMPARE(page.Metering_Grid->FixedRows(), 1);
    QCOMPARE(
        row(page.Metering_Grid, 0),
        (QStringList{QString(), QStringLiteral("INPUT 1"), QStringLiteral("INPUT 2"),
                     QStringLiteral("INPUT 3"), QStringLiteral("INPUT 4"),
                     QStringLiteral("INPUT 5"), QStringLiteral("INPUT 6"),
                     QStringLiteral("INPUT 7"), QStringLiteral("INPUT 8"), QString(), QString()}));
    QCOMPARE(row(page.Metering_Grid, 3), (QStringList{QStringLiteral("Module 40"),
                                                      {},
                                                      {},
                                                      {},
                                                      {},
                                                      {},
                                                      {},
                                                      {},
                                                      {},
                                                      QStringLiteral("40"),
                                                      QStringLiteral("0")}));
    QVERIFY(page.start_B->isEnabled());
    QVERIFY(!page.start_B->isHidden());
    QVERIFY(page.stop_B->isHidden());
}

void tst_MeteringPage::readingGoesToItsRowAndTakesTheHighlight()
{
    TMetering_F page;
    page.Fill_Metering_Page(activeSet({2, 7, 40}));
    page.Show_Readings(2, texts(QStringLiteral("21.5")));
    page.Show_Readings(7, texts(QStringLiteral("Op")));

    const StringGrid *grid = page.Metering_Grid;
    QCOMPARE(grid->Cell(1, 1), QStringLiteral("21.5"));
    QCOMPARE(grid->Cell(10, 1), QStringLiteral("0"));
    QCOMPARE(grid->Cell(1, 2), QStringLiteral("Op"));
    QCOMPARE(grid->Cell(8, 2), QStringLiteral("----"));
    QCOMPARE(grid->Cell(10, 2), QStringLiteral("1"));
    QCOMPARE(grid->Cell(1, 3), QString());
    QCOMPARE(grid->Cell(10, 3), QStringLiteral("0"));

    // A module that is not listed changes no texts but still takes the
    // highlight away.
    page.Show_Readings(9, texts(QStringLiteral("99.9")));
    QCOMPARE(grid->Cell(10, 2), QStringLiteral("0"));
    QCOMPARE(grid->Cell(1, 2), QStringLiteral("Op"));
}

void tst_MeteringPage::idleTickTurnsTheLastRowBlack()
{
    TMetering_F page;
    page.Fill_Metering_Page(activeSet({2, 7, 40}));
    page.Show_Readings(40, texts(QStringLiteral("-3.0")));
    QCOMPARE(page.Metering_Grid->Cell(10, 3), QStringLiteral("1"));
    page.Show_Readings(0);
    QCOMPARE(page.Metering_Grid->Cell(10, 3), QStringLiteral("0"));
    // The texts stay: the grid is the only record of the last readings.
    QCOMPARE(page.Metering_Grid->Cell(1, 3), QStringLiteral("-3.0"));
}

void tst_MeteringPage::rowReadLastIsDrawnBlue()
{
    TMetering_F page;
    page.Fill_Metering_Page(activeSet({2, 7}));
    page.Show_Readings(2, texts(QStringLiteral("21.5")));
    page.Show_Readings(7, texts(QStringLiteral("22.5")));
    QVERIFY(hasBlueText(page, 1, 2));
    QVERIFY(!hasBlueText(page, 1, 1));
    page.Show_Readings(0);
    QVERIFY(!hasBlueText(page, 1, 2));
}

void tst_MeteringPage::startAndStopSwapTheButtonsAndShowTheGauge()
{
    TMetering_F page;
    page.Fill_Metering_Page(activeSet({1}));
    QVERIFY(page.CGauge1->isHidden());
    page.start_BClick();
    QVERIFY(page.start_B->isHidden());
    QVERIFY(!page.stop_B->isHidden());
    QVERIFY(!page.CGauge1->isHidden());
    page.stop_BClick();
    QVERIFY(!page.start_B->isHidden());
    QVERIFY(page.stop_B->isHidden());
    QVERIFY(page.CGauge1->isHidden());
}

void tst_MeteringPage::gaugeFollowsThePeriod()
{
    TMetering_F page;
    page.Set_Gauge_Range(6);
    page.Set_Gauge_Progress(3);
    QCOMPARE(page.CGauge1->Text(), QStringLiteral("50%"));
    page.Set_Gauge_Range(80);
    QCOMPARE(page.CGauge1->MaxValue(), 80);
    QCOMPARE(page.CGauge1->Progress(), 0);
}

QTEST_MAIN(tst_MeteringPage)
#include "tst_meteringpage.moc"
