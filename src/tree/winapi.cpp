#include "tree/winapi.h"

#include "platform/platformcontext.h"

namespace winapi {

QString SpecialFolderPath(const PlatformContext &context, int identifier)
{
    const auto path = context.specialFolder(identifier);
    // A path that does not fit the shell's 260-character buffer (with its
    // NUL) is a failure, never a path cut short.
    if (!path || path->size() > 259)
        return QString();
    // The shell hands the path back in a 260-character buffer filled with NULs.
    QString buffer = path->left(259);
    buffer += QString(260 - buffer.size(), QChar(0));
    return TrimAtNul(buffer);
}

QString TrimAtNul(const QString &text)
{
    const qsizetype nul = text.indexOf(QChar(0));
    return nul < 0 ? QString() : text.left(nul);
}

} // namespace winapi
