// The pane the list pane shows while a scan runs and no row is visible yet.
#pragma once

#include "PlaceholderArea.hpp"

namespace virirado {

class ScanningPane : public PlaceholderArea {
    Q_OBJECT
public:
    explicit ScanningPane(AreaContext context, QWidget* parent = nullptr);
};

}  // namespace virirado
