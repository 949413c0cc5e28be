#include "app/startup.h"
#include "support/modal.h"

#include <QTest>

#include <stdexcept>

namespace {

// A handler that fails the way a bug in any page would.
class Faulty : public QObject
{
public:
    explicit Faulty(QString what) : m_what(std::move(what)) {}
    bool event(QEvent *e) override
    {
        if (e->type() == QEvent::User) {
            if (m_what.isNull())
                throw 42;
            throw std::runtime_error(m_what.toStdString());
        }
        return QObject::event(e);
    }

private:
    QString m_what;
};

} // namespace

class TestErrorReport : public QObject
{
    Q_OBJECT

private slots:
    void escapingErrorIsReportedAndEndsWithZero_data();
    void escapingErrorIsReportedAndEndsWithZero();
};

void TestErrorReport::escapingErrorIsReportedAndEndsWithZero_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("shown");
    QTest::newRow("std::exception") << "Port vanished"
                                    << "Port vanished";
    QTest::newRow("error without text") << QString() << "";
}

void TestErrorReport::escapingErrorIsReportedAndEndsWithZero()
{
    QFETCH(QString, what);
    QFETCH(QString, shown);
    Faulty faulty(what);
    auto seen = std::make_shared<ModalSeen>();
    AnswerNextModal(seen, [](QWidget *box) { PressButton(box, QStringLiteral("OK")); });
    QCoreApplication::postEvent(&faulty, new QEvent(QEvent::User));
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(seen->seen);
    QCOMPARE(seen->caption, QStringLiteral("Kelvora"));
    QCOMPARE(seen->text, shown);
}

int main(int argc, char *argv[])
{
    KelvoraApplication app(argc, argv);
    TestErrorReport test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_errorreport.moc"
