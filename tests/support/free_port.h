#pragma once
// Free TCP ports for the remote-control setting.

#include <QCoreApplication>
#include <QTcpServer>

// A free port below the usual ephemeral range: the port setting is a 16-bit
// signed integer. Successive calls give different ports.
inline int FreeSettingsPort() {
    static int next = 20000 + int(QCoreApplication::applicationPid() % 5000);
    for (;; next = next >= 32000 ? 20000 : next + 1) {
        QTcpServer probe;
        if (probe.listen(QHostAddress::Any, quint16(next))) return next++;
    }
}
