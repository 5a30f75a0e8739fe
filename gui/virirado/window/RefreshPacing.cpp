#include "RefreshPacing.hpp"

#include <algorithm>

namespace virirado {

double RefreshPacing::delay(double now) const {
    if (!m_refreshed) return 0;
    const double due = m_lastEnd + std::max(kShortest, kCostTimes * m_lastCost);
    return std::max(0.0, due - now);
}

void RefreshPacing::refreshed(double start, double end) {
    m_refreshed = true;
    m_lastEnd = end;
    m_lastCost = std::max(0.0, end - start);
}

}  // namespace virirado
