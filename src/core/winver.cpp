#include "core/winver.h"

#include "platform/platformcontext.h"

QString GetPlatformName(const VersionRecord &record)
{
    switch (record.platformId) {
    case 0:
        return QStringLiteral("Windows 3.1");
    case 1:
        return QStringLiteral("Windows 95");
    case 2:
        if (record.majorVersion >= 5)
            return QStringLiteral("Windows 2000");
        return QStringLiteral("Windows NT %1.%2").arg(record.majorVersion).arg(record.minorVersion);
    default:
        return QString();
    }
}

QString GetPlatformName(const PlatformContext &context) { return GetPlatformName(context.version); }
