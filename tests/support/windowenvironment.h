#pragma once

// What a test of the main window stands it in: a settings store and a
// working folder of the test's own, so that TMainF never reads or writes the
// user's preferences and its relative files (rtd.cfg, rtd_data_MMDD.csv,
// help/) land where the test looks. Made in init(), dropped in cleanup():
//
//     m_env = std::make_unique<WindowEnvironment>();
//     m_env->writeStore("Comport=" + port + "\nPeriod=4\n");
//     TMainF w;
//     ...
//     QCOMPARE(m_env->storedValue(QStringLiteral("Period")), QStringLiteral("4"));

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class WindowEnvironment
{
public:
    // Points the per-user store at a fresh folder and makes a fresh working
    // folder the current one.
    WindowEnvironment() : m_oldDir(QDir::currentPath())
    {
        QVERIFY(m_config.isValid() && m_work.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_config.path());
        QDir::setCurrent(m_work.path());
    }
    ~WindowEnvironment() { QDir::setCurrent(m_oldDir); }
    WindowEnvironment(const WindowEnvironment &) = delete;
    WindowEnvironment &operator=(const WindowEnvironment &) = delete;

    // The store's file, where TMainF keeps its preferences.
    QString storeFile() const { return m_config.path() + QStringLiteral("/Quelmar/QMRTD.conf"); }
    QString configPath() const { return m_config.path(); }
    // The working folder, current while the environment stands.
    QString workPath() const { return m_work.path(); }
    // A file in the working folder.
    QString path(const QString &name) const { return m_work.filePath(name); }

    // Writes the store's file as the group "Preferences" holding ini's lines.
    void writeStore(const QByteArray &ini) const
    {
        QVERIFY(QDir().mkpath(m_config.path() + QStringLiteral("/Quelmar")));
        QFile file(storeFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write("[Preferences]\n" + ini) >= 0);
    }

    // A value of the group "Preferences" as the file holds it now.
    QString storedValue(const QString &key) const
    {
        QSettings raw(storeFile(), QSettings::IniFormat);
        raw.beginGroup(QStringLiteral("Preferences"));
        return raw.value(key).toString();
    }

private:
    QString m_oldDir;
    QTemporaryDir m_config;
    QTemporaryDir m_work;
};
