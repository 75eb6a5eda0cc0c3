#include "constants.h"

namespace zq {

const QString kPlanS5 = QStringLiteral("S5");
const QString kPlanS5Unlimited = QStringLiteral("S5Unlimited");
const QString kPlanResiTraffic = QStringLiteral("Resi Traffic");
const QString kKeyS5 = QStringLiteral("S5");
const QString kKeyUnlimited = QStringLiteral("unlimit");
const QString kKeyResiTraffic = QStringLiteral("ResidentTraffic");
const QString kPlanTypeUnlimited = QStringLiteral("unlimit");
const QString kPlanTypeFlow = QStringLiteral("flow");
const QString kUnboundAddress = QStringLiteral("0.0.0.0");

QString programFileName()
{
    return QStringLiteral("Velmora") + QLatin1String(kExeSuffix);
}
QString helperFileName()
{
    return QStringLiteral("clientProxy") + QLatin1String(kExeSuffix);
}
QString driverFileName()
{
    return QStringLiteral("Tarn_Driver") + QLatin1String(kExeSuffix);
}

} // namespace zq
