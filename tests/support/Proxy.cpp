#include "Proxy.h"

#include "PrivateServer.h"

#include <stdexcept>

namespace testdb {

Proxy::Proxy(int targetPort) : port_(FreeLoopbackPort()) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral(TAVOLIX_TCPPROXY),
                   {QString::number(port_), QString::number(targetPort)});
    if (!process_.waitForStarted(5000) || !process_.waitForReadyRead(5000) ||
        !process_.readLine().startsWith("ready"))
        throw std::runtime_error("the proxy did not start");
}

Proxy::~Proxy() {
    Resume();
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

void Proxy::Signal(int sig) const {
    if (Pid() > 0)
        ::kill(Pid(), sig);
}

} // namespace testdb
