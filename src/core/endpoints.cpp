#include "endpoints.h"

#include "constants.h"

namespace zq {

namespace {

QString fromEnv(const char* name, const char* fallback)
{
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? QString::fromUtf8(fallback) : value;
}

} // namespace

ServiceAddresses::ServiceAddresses()
    : m_account(fromEnv("ZQ_ACCOUNT_BASE", ZQ_ACCOUNT_BASE))
    , m_resource(fromEnv("ZQ_RESOURCE_BASE", ZQ_RESOURCE_BASE))
{
    setLocalPort(kDefaultApiPort);
}

QString ServiceAddresses::base(Base which) const
{
    switch (which) {
    case Base::Account:
        return m_account;
    case Base::Resource:
        return m_resource;
    case Base::Local:
        return m_local;
    }
    return {};
}

void ServiceAddresses::setLocalPort(int port)
{
    m_local = QStringLiteral("http://127.0.0.1:%1").arg(port);
}

} // namespace zq
