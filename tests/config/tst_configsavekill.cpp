#include "config/configfile.h"
#include "configsavekillimages.h"
#include "support/killchild.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

// A child process saves two configurations in turn over one file and is
// killed (SIGKILL) at random moments, a hundred times. After every kill the
// file is one of the two images, whole, and never a cut one; a kill between
// writing the new image and renaming it may leave that image's file beside
// it, and the next save of the file removes it.
class TestConfigSaveKill : public QObject
{
    Q_OBJECT

private slots:
    void fileIsOldOrNewAfterRandomKills();
};

void TestConfigSaveKill::fileIsOldOrNewAfterRandomKills()
{
    constexpr int kKills = 100;
    const QString child = QStringLiteral(KELVORA_CONFIG_SAVE_KILL_CHILD);
    const quint32 seed = QRandomGenerator::global()->generate();
    qInfo("seed %u", seed);
    QRandomGenerator random(seed);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("plant.cfg"));
    const std::array<QByteArray, 2> images = ConfigSaveKillImages();
    // Somebody's own files beside it, one named much like a leftover.
    const QString backup = dir.filePath(QStringLiteral("plant.cfg.backup"));
    const QString lookalike = dir.filePath(QStringLiteral("plant.cfg.kelvora-notes.txt"));
    for (const QString &own : {backup, lookalike}) {
        QFile file(own);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(images[0]) == images[0].size());
    }

    int leftovers = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        const QString killed = KillAtWork(child, {path}, random.bounded(5001));
        QVERIFY2(killed.isEmpty(), qPrintable(killed));

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY2(bytes == images[0] || bytes == images[1],
                 qPrintable(QStringLiteral("kill %1 left %2 bytes").arg(kill).arg(bytes.size())));
        // The child's next first save removes what this kill left.
        const QStringList left =
            QDir(dir.path()).entryList({QStringLiteral("plant.cfg.kelvora-??????")}, QDir::Files);
        QVERIFY2(left.size() <= 1, qPrintable(left.join(QLatin1Char(' '))));
        leftovers += int(left.size());
    }
    QVERIFY(WriteConfigFile(path, images[1]).ok());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
             (QStringList{QStringLiteral("plant.cfg"), QStringLiteral("plant.cfg.backup"),
                          QStringLiteral("plant.cfg.kelvora-notes.txt")}));
    for (const QString &own : {backup, lookalike}) {
        QFile file(own);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), images[0]);
    }
    // How often a kill landed between the write and the rename: for the
    // record, not a pass mark.
    qInfo("%d kills, %d left the new image's file beside the old", kKills, leftovers);
}

QTEST_GUILESS_MAIN(TestConfigSaveKill)
#include "tst_configsavekill.moc"
