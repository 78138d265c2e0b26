#include "platform/applications.h"

#include "files/nativefile.h"

// GIO's headers use the word "signals", which Qt defines as a keyword.
#undef signals
#include <gio/gio.h>
#include <gio/gdesktopappinfo.h>

#include <memory>

namespace Applications {

namespace {

struct Unref
{
    void operator()(gpointer object) const { g_object_unref(object); }
};
using AppInfo = std::unique_ptr<GAppInfo, Unref>;

QByteArray IdOf(GAppInfo *info)
{
    const char *id = g_app_info_get_id(info);
    return id ? QByteArray(id) : QByteArray();
}

} // namespace

std::vector<Application> ForFile(const QByteArray &nativePath)
{
    std::vector<Application> found;
    gboolean uncertain = FALSE;
    const std::unique_ptr<gchar, decltype(&g_free)> type(
        g_content_type_guess(nativePath.constData(), nullptr, 0, &uncertain), g_free);
    if (!type)
        return found;
    const AppInfo fallback(g_app_info_get_default_for_type(type.get(), FALSE));
    const QByteArray defaultId = fallback ? IdOf(fallback.get()) : QByteArray();
    GList *all = g_app_info_get_all_for_type(type.get());
    for (GList *item = all; item; item = item->next) {
        auto *info = static_cast<GAppInfo *>(item->data);
        const QByteArray id = IdOf(info);
        if (id.isEmpty() || !g_app_info_should_show(info))
            continue;
        Application application{id, QString::fromUtf8(g_app_info_get_name(info)), id == defaultId};
        if (application.isDefault)
            found.insert(found.begin(), application);
        else
            found.push_back(application);
    }
    g_list_free_full(all, g_object_unref);
    // The default a mimeapps.list names may be missing from the registry's
    // index (a folder of applications without its mimeinfo.cache).
    if (fallback && !defaultId.isEmpty() && g_app_info_should_show(fallback.get()) &&
        (found.empty() || !found.front().isDefault))
        found.insert(found.begin(), Application{defaultId, QString::fromUtf8(g_app_info_get_name(fallback.get())), true});
    return found;
}

bool Launch(const QByteArray &id, const QList<QByteArray> &nativePaths, QString *error)
{
    const AppInfo info(G_APP_INFO(g_desktop_app_info_new(id.constData())));
    if (!info) {
        if (error)
            *error = QStringLiteral("アプリケーションが見つかりません: %1").arg(QString::fromUtf8(id));
        return false;
    }
    // The files as URIs percent-encoded from their names' bytes.
    std::vector<QByteArray> uris;
    for (const QByteArray &path : nativePaths)
        uris.push_back(NativeFile::UriOf(path));
    GList *list = nullptr;
    for (const QByteArray &uri : uris)
        list = g_list_append(list, const_cast<char *>(uri.constData()));
    GError *failure = nullptr;
    const gboolean started = g_app_info_launch_uris(info.get(), list, nullptr, &failure);
    g_list_free(list);
    if (!started) {
        if (error)
            *error = failure ? QString::fromUtf8(failure->message) : QString();
        if (failure)
            g_error_free(failure);
        return false;
    }
    return true;
}

} // namespace Applications
