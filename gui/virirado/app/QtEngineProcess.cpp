#include "QtEngineProcess.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QThread>
#include <QThreadPool>
#include <cerrno>

namespace virirado {

namespace {

// What an unprivileged process may ask for on a Linux system by default.
constexpr int kPipeBytes = 1 << 20;

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

QtEngineProcess::QtEngineProcess(EngineGroup::Sender send) : m_group(std::move(send)) {}

QtEngineProcess::~QtEngineProcess() {
    QProcess* process = m_process;
    if (process != nullptr) {
        QObject::disconnect(process, nullptr, nullptr, nullptr);
        if (process->state() != QProcess::NotRunning) {
            process->closeWriteChannel();
            process->waitForFinished(kInputGraceMs);
        }
    }
    // The engine, or helpers it left behind, may still run: the whole group is
    // asked to end, then made to.
    m_group.end(kTermGraceMs, kReapMs);
    if (process == nullptr) return;
    // An engine that left its group is still our unreaped child: its own id is
    // safe to signal until QProcess reaps it.
    if (process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished(kReapMs);
    }
    // This may run inside one of the process's own signals.
    process->deleteLater();
}

std::optional<std::string> QtEngineProcess::launch(const std::string& executable,
                                                   const std::vector<std::string>& arguments,
                                                   const Environment& environment,
                                                   Handlers handlers) {
    m_handlers = std::move(handlers);
    // The engine is bound to the life of the thread that forks it (its parent
    // death signal below), and QProcess forks on the calling thread: only the
    // main thread lasts as long as the app.
    const QCoreApplication* app = QCoreApplication::instance();
    if (app != nullptr && QThread::currentThread() != app->thread()) {
        return std::string("the engine can only be started from the main thread");
    }
    if (auto failure = m_group.start()) return failure;
    auto* process = new QProcess();
    m_process = process;
    process->setProcessChannelMode(QProcess::SeparateChannels);
    process->setProgram(qs(executable));
    QStringList args;
    for (const std::string& a : arguments)
        args << qs(a);
    process->setArguments(args);
    QProcessEnvironment env;
    for (const auto& [key, value] : environment)
        env.insert(qs(key), qs(value));
    process->setProcessEnvironment(env);
    process->setChildProcessModifier([group = m_group.id(), appId = ::getpid()] {
        // Ends with the app, however the app ends: killed outright, the app can
        // end nothing, and an engine that ignores SIGTERM and its input's end
        // would go on alone. SIGKILL, since nobody is left to follow up.
        // Checked again after asking: an app that died before is not waited for.
        if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != appId) ::_exit(127);
        // The group held for it, so that ending the engine also ends what it
        // started. An engine outside it could leave helpers behind: it is not run.
        if (::setpgid(0, group) != 0) {
            static constexpr char kNoGroup[] = "The engine could not join its process group.\n";
            [[maybe_unused]] const ssize_t n =
                ::write(STDERR_FILENO, kNoGroup, sizeof kNoGroup - 1);
            ::_exit(127);
        }
        // The window reads one pipe's worth of output a turn of its event loop. A
        // result of 300,000 items is one line of about 120 MB: in the pipe's usual
        // 64 KiB it took thousands of turns, each with a frame of the scanning
        // animation, and minutes. The kernel may refuse the size; nothing is lost.
        ::fcntl(STDOUT_FILENO, F_SETPIPE_SZ, kPipeBytes);
    });

    QObject::connect(process, &QProcess::readyReadStandardOutput, process, [this, process] {
        const QByteArray bytes = process->readAllStandardOutput();
        auto output = m_handlers.output;
        if (!bytes.isEmpty() && output) {
            output(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
        }
    });
    QObject::connect(process, &QProcess::readyReadStandardError, process, [this, process] {
        const QByteArray bytes = process->readAllStandardError();
        auto error = m_handlers.error;
        if (!bytes.isEmpty() && error) error(bytes.toStdString());
    });
    QObject::connect(process, &QProcess::finished, process,
                     [this](int exitCode, QProcess::ExitStatus) {
                         // What the engine left running: nothing will read or
                         // wait for it. Killed while the group is still ours,
                         // then the number is let go.
                         m_group.endNow(0);
                         // A copy: the handler may end this object's life.
                         auto ended = m_handlers.ended;
                         if (ended) ended(exitCode);
                     });
    // QProcess writes later, from its event loop: a child that closed its input is
    // only noticed then.
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [this, process](QProcess::ProcessError error) {
                         auto failed = m_handlers.writeFailed;
                         if (error == QProcess::WriteError && failed) {
                             failed(process->errorString().toStdString());
                         }
                     });
    process->start();
    if (!process->waitForStarted(10000)) {
        const std::string message = process->errorString().toStdString();
        QObject::disconnect(process, nullptr, nullptr, nullptr);
        process->deleteLater();
        m_process.clear();
        m_group.release();
        return message;
    }
    return std::nullopt;
}

bool QtEngineProcess::usable() const {
    return m_process && m_process->state() == QProcess::Running && m_process->isWritable();
}

std::optional<std::string> QtEngineProcess::write(const std::string& bytes) {
    if (!m_process) return std::string("The engine is not running.");
    const qint64 written = m_process->write(bytes.data(), static_cast<qint64>(bytes.size()));
    if (written != static_cast<qint64>(bytes.size())) {
        return m_process->errorString().toStdString();
    }
    return std::nullopt;
}

void QtEngineProcess::kill() {
    // It has stopped answering: no grace, for it or for anything it started.
    m_group.signal(SIGKILL);
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        // Reaped here, so quitting right after waits for nothing.
        m_process->waitForFinished(1000);
    }
    m_group.endNow(kReapMs);
}

void QtExecutor::run(std::function<void()> work, std::function<void()> done) {
    QThreadPool::globalInstance()->start([work = std::move(work), done = std::move(done)] {
        work();
        // The application object outlives every client; the client itself checks
        // that it still exists before `done` touches it.
        QMetaObject::invokeMethod(QCoreApplication::instance(), done, Qt::QueuedConnection);
    });
}

}  // namespace virirado
