#include "EngineClientObject.hpp"

#include <unistd.h>

#include <QCoreApplication>
#include <QSettings>

#include "LogFolder.hpp"

namespace virirado {

namespace {

// INI storage reads a Bool back as text, so "true"/"false" count as one.
std::optional<bool> storedBool(const QVariant& value) {
    if (value.typeId() == QMetaType::Bool) return value.toBool();
    if (value.typeId() == QMetaType::QString) {
        if (value.toString() == QLatin1String("true")) return true;
        if (value.toString() == QLatin1String("false")) return false;
    }
    return std::nullopt;
}

// What the app says on standard error of deletion-log lines never written.
std::string unwrittenNotice(const DeleteLog::Unwritten& left) {
    return "Virirado: " + DeleteLog::notWritten(left.problem) +
           " Its lines that were not written follow.\n" + left.lines;
}

}  // namespace

ClientServices EngineClientObject::appServices() {
    ClientServices s = ClientServices::system(homeFolder());
    s.launch = LaunchContext::current();
    for (const QString& a : QCoreApplication::arguments())
        s.launch.arguments.push_back(a.toStdString());
    s.launch.executableFolder = QCoreApplication::applicationDirPath().toStdString();
    s.loadIncludePrivate = [] { return storedBool(QSettings().value("includePrivate")); };
    s.storeIncludePrivate = [](bool v) { QSettings().setValue("includePrivate", v); };
    return s;
}

EngineClientObject::EngineClientObject(QObject* parent)
    : EngineClientObject(appServices(), parent) {}

EngineClientObject::EngineClientObject(ClientServices services, QObject* parent) : QObject(parent) {
    if (!services.makeProcess) {
        services.makeProcess = [] { return std::make_unique<QtEngineProcess>(); };
    }
    if (services.executor == nullptr) services.executor = &m_executor;
    m_client = std::make_unique<EngineClient>(std::move(services));
    m_client->setOnChanged([this] { emit changed(); });
}

EngineClientObject::~EngineClientObject() {
    // Nothing listens any more: the window that did is being taken down.
    m_client->setOnChanged({});
    if (auto left = m_client->finishDeletionLog()) {
        // Standard error is the last place left; if it takes nothing either,
        // there is none.
        [[maybe_unused]] const bool said =
            logfolder::writeAll(STDERR_FILENO, unwrittenNotice(*left));
    }
}

}  // namespace virirado
