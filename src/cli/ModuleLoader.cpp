#include "cli/ModuleLoader.h"

#include <dlfcn.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

#include "base/KelvoError.h"

void* LoadModuleEntry(const char* moduleFile, const char* entryName, const QString& failure) {
    const QString folder = QCoreApplication::applicationDirPath();
    const QStringList places = {
        folder + QLatin1Char('/') + QLatin1String(moduleFile),
        folder + QStringLiteral("/../lib/kelvoimage/") + QLatin1String(moduleFile),
    };
    QString reason;
    for (const QString& place : places) {
        if (!QFileInfo::exists(place)) continue;
        void* module = ::dlopen(QFileInfo(place).canonicalFilePath().toLocal8Bit().constData(),
                                RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            reason = QString::fromLocal8Bit(::dlerror());
            continue;
        }
        if (void* entry = ::dlsym(module, entryName)) return entry;
        reason = QString::fromLocal8Bit(::dlerror());
    }
    if (reason.isEmpty())
        reason = QStringLiteral("%1 is not installed beside the program or in ../lib/kelvoimage/")
                     .arg(QLatin1String(moduleFile));
    throw KelvoError(QStringLiteral("%1: %2").arg(failure, reason));
}
