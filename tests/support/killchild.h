#pragma once

#include <QString>
#include <QStringList>

// Starts program with arguments, waits until it prints its first line (the
// child's word that it is at work), lets it run for pauseUs microseconds and
// kills it with SIGKILL. Empty when the child was killed at work; otherwise
// what went wrong instead (it did not start, ended by itself, said nothing
// for 30 s), with what it wrote on standard error.
QString KillAtWork(const QString &program, const QStringList &arguments, unsigned long pauseUs);
