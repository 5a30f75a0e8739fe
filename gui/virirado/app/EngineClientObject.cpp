#include "EngineClientObject.hpp"

#include <unistd.h>

#include <QCoreApplication>
#include <QSettings>
#include <QThread>
#include <cstdlib>

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

// The newest client alive. A function run by exit() is handed nothing, so the
// clients it must finish are found from here; a plain pointer, so nothing of
// it is destroyed before that function runs.
EngineClientObject* newestAlive = nullptr;
// The process that asked for it: a child forked from it that calls exit()
// must not log this process's rows a second time.
pid_t finishingProcess = 0;

bool finishAtExitOf(void (*finish)()) {
    finishingProcess = ::getpid();
    return std::atexit(finish) == 0;
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
    // Qt's xcb platform ends the app with exit(1) when the connection to the
    // display breaks, as the X server ends with the session: no destructor
    // runs then, and a running clean's rows and the lines the disk refused
    // would be lost without a word.
    static const bool atExit = finishAtExitOf(finishAtExit);
    if (!atExit) return;
    m_older = newestAlive;
    if (m_older != nullptr) m_older->m_newer = this;
    newestAlive = this;
}

EngineClientObject::~EngineClientObject() {
    if (m_newer != nullptr) m_newer->m_older = m_older;
    if (m_older != nullptr) m_older->m_newer = m_newer;
    if (newestAlive == this) newestAlive = m_older;
    finish();
}

void EngineClientObject::finish() {
    // Nothing listens any more: the window that did is being taken down.
    m_client->setOnChanged({});
    if (auto left = m_client->finishDeletionLog()) {
        // Standard error is the last place left; if it takes nothing either,
        // there is none.
        [[maybe_unused]] const bool said =
            logfolder::writeAll(STDERR_FILENO, unwrittenNotice(*left));
    }
}

void EngineClientObject::finishAtExit() {
    if (::getpid() != finishingProcess) return;
    // A client is used on its own thread only; exit() called elsewhere meets
    // it in the middle of whatever it does.
    for (EngineClientObject* c = newestAlive; c != nullptr; c = c->m_older) {
        if (c->thread() == QThread::currentThread()) c->finish();
    }
}

}  // namespace virirado
