#pragma once

#include <QString>

struct VersionRecord;
class PlatformContext;

// The short platform name that decides the platform-dependent behaviour:
// "Windows 95" (thumbnail cache), "Windows 2000" (animated windows), ...
QString GetPlatformName(const VersionRecord &record);
QString GetPlatformName(const PlatformContext &context);
