// Presents the window's sheets one at a time. Each sheet belongs to an item: the
// clean preview (by its token), or a pending check-first or quick-delete request
// (by row). A new item means a new sheet, never a reused one with a code already
// typed into it; an item that arrives while another sheet is up waits its turn.
#pragma once

#include <QObject>
#include <QPointer>
#include <optional>
#include <string>

#include "SheetDialog.hpp"

namespace virirado {

class SheetHost : public QObject {
    Q_OBJECT
public:
    SheetHost(QWidget* window, AreaContext context, SheetMakers makers);
    ~SheetHost() override;

    // Closes a sheet whose item went away, hands the current one the new values,
    // and opens the next waiting sheet when none is up.
    void present(const WindowView& view);

    SheetDialog* current() const { return m_sheet.data(); }
    // What the current sheet shows: "preview:<token>", "quick:<id>", "check:<id>".
    const std::string& currentKey() const { return m_key; }

    // The sheet's item the view asks for, in the order they take turns.
    static std::optional<std::string> wanted(const WindowView& view, const std::string& current);

signals:
    // Ctrl+Q on a sheet: the sheet holds the keys while it is up, so the app's
    // quit key is asked for there too. Also the sheet's close button while a
    // clean runs.
    void quitAsked();

private:
    void close();
    SheetDialog* make(const std::string& key);

    QWidget* m_window;
    AreaContext m_context;
    SheetMakers m_makers;
    QPointer<SheetDialog> m_sheet;
    std::string m_key;
};

}  // namespace virirado
