#include "SheetHost.hpp"

#include <QShortcut>

namespace virirado {

namespace {

std::vector<std::string> present(const WindowView& view) {
    std::vector<std::string> keys;
    if (view.engine != nullptr && view.engine->preview) {
        keys.push_back("preview:" + view.engine->preview->token);
    }
    if (view.quickDeleteFirst) keys.push_back("quick:" + view.quickDeleteFirst->id);
    if (view.checkFirst) keys.push_back("check:" + view.checkFirst->id);
    return keys;
}

}  // namespace

SheetHost::SheetHost(QWidget* window, AreaContext context, SheetMakers makers)
    : QObject(window), m_window(window), m_context(context), m_makers(std::move(makers)) {}

SheetHost::~SheetHost() {
    if (m_sheet) m_sheet->closeFromHost();
}

std::optional<std::string> SheetHost::wanted(const WindowView& view, const std::string& current) {
    const std::vector<std::string> keys = virirado::present(view);
    for (const std::string& key : keys) {
        if (key == current) return key;
    }
    if (keys.empty()) return std::nullopt;
    return keys.front();
}

void SheetHost::present(const WindowView& view) {
    const std::optional<std::string> key = wanted(view, m_sheet ? m_key : std::string());
    if (m_sheet && (!key || *key != m_key)) close();
    if (!key) return;
    if (!m_sheet) {
        SheetDialog* sheet = make(*key);
        if (sheet == nullptr) return;
        m_sheet = sheet;
        m_key = *key;
        auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), sheet);
        quit->setContext(Qt::WindowShortcut);
        connect(quit, &QShortcut::activated, this, &SheetHost::quitAsked);
        connect(sheet, &SheetDialog::windowCloseAsked, this, &SheetHost::quitAsked);
        m_sheet->present(view);
        m_sheet->open();
        m_sheet->enterFocus();
        return;
    }
    m_sheet->present(view);
}

void SheetHost::close() {
    if (m_sheet) {
        m_sheet->closeFromHost();
        // Keys go back to the window, which a desktop without a window manager
        // would not do by itself: Ctrl+F and the list keys work at once.
        if (m_window->isVisible()) m_window->window()->activateWindow();
    }
    m_sheet.clear();
    m_key.clear();
}

SheetDialog* SheetHost::make(const std::string& key) {
    std::function<SheetDialog*(AreaContext, QWidget*)> maker;
    if (key.starts_with("preview:")) maker = m_makers.confirm;
    if (key.starts_with("quick:")) maker = m_makers.quickDeleteFirst;
    if (key.starts_with("check:")) maker = m_makers.checkFirst;
    return maker ? maker(m_context, m_window) : nullptr;
}

}  // namespace virirado
