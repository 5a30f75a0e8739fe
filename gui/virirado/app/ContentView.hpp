// The main window's root view. It builds and owns everything it shows; creating
// it cannot fail.
#pragma once

#include <QWidget>

namespace virirado {

class ContentView : public QWidget {
    Q_OBJECT
public:
    ContentView();
};

}  // namespace virirado
