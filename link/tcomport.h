#pragma once

#include <QString>

// Placeholder until the serial line lands: holds the port name only.
class TComPort
{
public:
    QString Port() const { return m_port; }
    void SetPort(const QString &name) { m_port = name; }
    bool Connected() const { return false; }
    void Close() {}

private:
    QString m_port = QStringLiteral("ttyS0");
};
