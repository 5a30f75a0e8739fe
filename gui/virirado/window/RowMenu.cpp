#include "RowMenu.hpp"

#include "DisplayPath.hpp"

namespace virirado {

RowMenu RowMenu::make(const std::optional<std::string>& path, const std::string& name,
                      bool canDelete, bool offersQuickDelete, const std::string& home) {
    RowMenu m;
    m.cleanPath = virirado::cleanPath(path, home);
    m.copyText = !name.empty() ? name : m.cleanPath.value_or("");
    m.canDelete = canDelete;
    m.offersQuickDelete = offersQuickDelete;
    return m;
}

}  // namespace virirado
