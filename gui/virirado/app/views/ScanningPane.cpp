#include "ScanningPane.hpp"

namespace virirado {

ScanningPane::ScanningPane(AreaContext, QWidget* parent)
    : PlaceholderArea(QStringLiteral("scanningPane"), 0, 0, parent) {}

}  // namespace virirado
