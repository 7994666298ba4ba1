#include "ethlib.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>

namespace {

// The versioned file name first: it is what an installed runtime library provides. The plain name
// lets the platform add prefix and suffix, as for any library loaded by name.
const char *const LibraryNames[] = {"libQORETHW.so.1", "QORETHW"};

struct SearchPath
{
    bool overridden = false;
    QStringList folders;
    bool system = true;
};

SearchPath &Search()
{
    static SearchPath path;
    return path;
}

template<typename T>
T Resolve(QLibrary &library, const char *name)
{
    return reinterpret_cast<T>(library.resolve(name));
}

} // namespace

void SetEthLibFolders(const QStringList &folders, bool system)
{
    Search() = {true, folders, system};
}

void ResetEthLibFolders()
{
    Search() = {};
}

QStringList EthLibCandidates()
{
    const SearchPath &search = Search();
    QStringList folders = search.folders;
    if (!search.overridden) {
        const QString appDir = QCoreApplication::applicationDirPath();
        folders = {QDir(appDir).filePath(QStringLiteral("../lib"))};
#ifdef SETTINGS_INSTALL_LIBDIR
        // An installed program's libraries may sit in a multiarch folder instead.
        const QString installed =
            QDir(appDir).filePath(QStringLiteral("../" SETTINGS_INSTALL_LIBDIR));
        if (QDir::cleanPath(installed) != QDir::cleanPath(folders.first()))
            folders << installed;
#endif
        folders << appDir;
    }
    QStringList candidates;
    for (const QString &folder : folders) {
        for (const char *name : LibraryNames)
            candidates << QDir::cleanPath(QDir(folder).filePath(QLatin1String(name)));
    }
    if (search.system) {
        for (const char *name : LibraryNames)
            candidates << QLatin1String(name);
    }
    return candidates;
}

EthLibrary BindEthLibrary()
{
    for (const QString &candidate : EthLibCandidates()) {
        // Never deleted while bound: the library must outlive every call into it.
        auto *library = new QLibrary(candidate);
        if (!library->load()) {
            delete library;
            continue;
        }
        EthLibrary lib;
        lib.QEW_Connect = Resolve<QEW_Connect_t>(*library, "QEW_Connect");
        lib.QEW_Disconnect = Resolve<QEW_Disconnect_t>(*library, "QEW_Disconnect");
        lib.QEW_GetStatus = Resolve<QEW_GetStatus_t>(*library, "QEW_GetStatus");
        lib.QEW_GetStatusEx = Resolve<QEW_GetStatusEx_t>(*library, "QEW_GetStatusEx");
        lib.QEW_ChangeNetworking =
            Resolve<QEW_ChangeNetworking_t>(*library, "QEW_ChangeNetworking");
        lib.QEW_DEB_StrToStr = Resolve<QEW_DEB_StrToStr_t>(*library, "QEW_DEB_StrToStr");
        if (lib.QEW_Connect && lib.QEW_Disconnect && lib.QEW_ChangeNetworking &&
            lib.QEW_DEB_StrToStr && (lib.QEW_GetStatus || lib.QEW_GetStatusEx)) {
            lib.handle = library;
            return lib;
        }
        // The first library found decides, as a search by name would.
        library->unload();
        delete library;
        return {};
    }
    return {};
}
