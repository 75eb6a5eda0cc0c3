#pragma once
// Process-wide names and numbers of the client.

#include <QString>

namespace zq {

// Plan display names; also the values of PortInfo::qPlanType.
extern const QString kPlanS5; // "S5"
extern const QString kPlanS5Unlimited; // "S5Unlimited"
extern const QString kPlanResiTraffic; // "Resi Traffic"
// Client-side plan keys (request tags, "plantypekey").
extern const QString kKeyS5; // "S5"
extern const QString kKeyUnlimited; // "unlimit"
extern const QString kKeyResiTraffic; // "ResidentTraffic"
// "plantype" form values.
extern const QString kPlanTypeUnlimited; // "unlimit"
extern const QString kPlanTypeFlow; // "flow"
// Address of a line whose binding is not yet confirmed.
extern const QString kUnboundAddress; // "0.0.0.0"

inline constexpr const char* kVersion = "207";
inline constexpr const char* kShowVersion = "2.0.7";

// Executables keep their Windows names there and drop ".exe" elsewhere.
#ifdef Q_OS_WIN
inline constexpr const char* kExeSuffix = ".exe";
#else
inline constexpr const char* kExeSuffix = "";
#endif
QString programFileName(); // "Velmora.exe"
QString helperFileName(); // "clientProxy.exe"
QString driverFileName(); // "Tarn_Driver.exe"
inline constexpr const char* kUpdateFileName = "ZQ_S5_Proxy_temp.exe";

inline constexpr int kDefaultApiPort = 12369;
inline constexpr int kDefaultStartPort = 1000;
inline constexpr int kDefaultPortNum = 100;
inline constexpr int kLowestStartPort = 1000;
inline constexpr int kHighestPort = 65535;

// Today-list and upkeep thresholds, in seconds.
inline constexpr int kSixHours = 21600;
inline constexpr int kOneDay = 86400;

inline constexpr int kAreaListIntervalMs = 300000;

} // namespace zq
