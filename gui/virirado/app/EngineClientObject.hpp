// The engine client as a QObject: one changed() signal after every change of its
// published state, settings in QSettings, the child as a QProcess. Its end is
// the app's end on every way out (the quit key, the window's close, logout's
// signals, and an exit() that skips every destructor, as Qt's when the
// display's connection breaks at the end of an X session): rows a clean's
// report never reached are logged "unknown", and deletion-log lines the disk
// still refuses go, whole, to standard error, which the desktop's journal
// keeps, after the sentence that says why.
#pragma once

#include <QObject>
#include <memory>

#include "EngineClient.hpp"
#include "QtEngineProcess.hpp"

namespace virirado {

class EngineClientObject : public QObject {
    Q_OBJECT
public:
    // This app: its arguments, environment, folders, home and settings.
    explicit EngineClientObject(QObject* parent = nullptr);
    // Given services; a missing process maker or executor is filled in with Qt's.
    explicit EngineClientObject(ClientServices services, QObject* parent = nullptr);
    ~EngineClientObject() override;

    EngineClient& client() { return *m_client; }
    const EngineState& state() const { return m_client->state(); }

    static ClientServices appServices();

signals:
    void changed();

private:
    // The app's end for this client; a second call finds nothing left to do.
    void finish();
    // Finishes every client still alive on the thread that calls exit().
    static void finishAtExit();

    QtExecutor m_executor;
    std::unique_ptr<EngineClient> m_client;
    // The clients alive, for an exit() that skips their destructors.
    EngineClientObject* m_older = nullptr;
    EngineClientObject* m_newer = nullptr;
};

}  // namespace virirado
