// The main window's root view. It builds and owns everything it shows; creating
// it cannot fail.
#pragma once

#include <QWidget>

namespace virirado {

class EngineClientObject;

class ContentView : public QWidget {
    Q_OBJECT
public:
    ContentView();

    EngineClientObject& engine() { return *m_engine; }

protected:
    // The engine client starts when the window is first shown, not when it is built.
    void showEvent(QShowEvent* event) override;

private:
    EngineClientObject* m_engine;
    bool m_started = false;
};

}  // namespace virirado
