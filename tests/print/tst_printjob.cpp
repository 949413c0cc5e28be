#include "print/printjob.h"

#include <QPrintEngine>
#include <QTest>

// Every print job prints on a printer of its own, made from the choices the
// user made on the print dialog's printer: the copy must carry them all,
// although a printer's name brings that printer's defaults along.
class TestPrintJob : public QObject
{
    Q_OBJECT

private slots:
    void aFreshPrinterTakesTheUsersChoices();
};

void TestPrintJob::aFreshPrinterTakesTheUsersChoices()
{
    QPrinter chosen(QPrinter::HighResolution);
    chosen.setOutputFormat(QPrinter::PdfFormat);
    chosen.setResolution(300);
    const QPageLayout layout(QPageSize(QPageSize::A5), QPageLayout::Landscape,
                             QMarginsF(7, 11, 13, 17), QPageLayout::Millimeter);
    chosen.setPageLayout(layout);
    chosen.setCopyCount(3);
    chosen.setCollateCopies(false);
    chosen.setColorMode(QPrinter::GrayScale);
    chosen.setPageOrder(QPrinter::LastPageFirst);
    chosen.setDocName(QStringLiteral("Module 2"));
    chosen.setCreator(QStringLiteral("Kelvora"));
    chosen.setPdfVersion(QPrinter::PdfVersion_A1b);

    QPrinter fresh(QPrinter::HighResolution);
    ApplyPrintSettings(PrintSettingsOf(chosen), fresh);
    QCOMPARE(fresh.outputFormat(), QPrinter::PdfFormat);
    QCOMPARE(fresh.resolution(), 300);
    QVERIFY2(fresh.pageLayout().isEquivalentTo(layout),
             qPrintable(fresh.pageLayout().pageSize().name()));
    QCOMPARE(fresh.pageLayout().orientation(), QPageLayout::Landscape);
    QCOMPARE(fresh.copyCount(), 3);
    QVERIFY(!fresh.collateCopies());
    QCOMPARE(fresh.colorMode(), QPrinter::GrayScale);
    QCOMPARE(fresh.pageOrder(), QPrinter::LastPageFirst);
    QCOMPARE(fresh.docName(), QStringLiteral("Module 2"));
    QCOMPARE(fresh.creator(), QStringLiteral("Kelvora"));
    QCOMPARE(fresh.pdfVersion(), QPrinter::PdfVersion_A1b);
}

QTEST_MAIN(TestPrintJob)
#include "tst_printjob.moc"
