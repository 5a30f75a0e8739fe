#include "EngineClientObject.hpp"

#include <QCoreApplication>
#include <QSettings>

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

EngineClientObject::~EngineClientObject() = default;

}  // namespace virirado
