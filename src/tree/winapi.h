#pragma once

#include <QString>

class PlatformContext;

// Special folders of the desktop session.
namespace winapi {

constexpr int Desktop = 0;
constexpr int Documents = 5;

// Windows-form path of a special folder; empty when it has none.
QString SpecialFolderPath(const PlatformContext &context, int identifier);

// The text before its first NUL; empty when the text holds no NUL.
QString TrimAtNul(const QString &text);

} // namespace winapi
