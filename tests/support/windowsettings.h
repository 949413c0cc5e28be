#pragma once

// What a main-window test starts from: an empty settings folder, where the
// window's preferences store (QSettings, user scope) is made, and an empty
// working directory, current while the object lives (the window's help path,
// datalog and configuration files are relative to it). Header-only, since it
// uses QtTest's checks.

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class WindowSettings
{
public:
    WindowSettings() : m_oldDir(QDir::currentPath())
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_config.path());
        QDir::setCurrent(m_work.path());
    }
    ~WindowSettings() { QDir::setCurrent(m_oldDir); }
    WindowSettings(const WindowSettings &) = delete;
    WindowSettings &operator=(const WindowSettings &) = delete;

    QString StoreFile() const { return m_config.path() + QStringLiteral("/Quelmar/QMRTD.conf"); }
    // A file name in the working directory.
    QString Path(const QString &name) const { return m_work.filePath(name); }

    // Writes the store as the group [Preferences] with the lines of ini.
    void WriteStore(const QByteArray &ini) const
    {
        QVERIFY(QDir().mkpath(m_config.path() + QStringLiteral("/Quelmar")));
        QFile file(StoreFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Preferences]\n" + ini);
    }
    // The text stored for key, read from the file as it is now.
    QString StoredValue(const QString &key) const
    {
        QSettings raw(StoreFile(), QSettings::IniFormat);
        raw.beginGroup(QStringLiteral("Preferences"));
        return raw.value(key).toString();
    }

private:
    QTemporaryDir m_config;
    QTemporaryDir m_work;
    QString m_oldDir;
};
