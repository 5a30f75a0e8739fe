// The scope bar: one capsule per scope with the gigabytes ticked in it, in a
// row that scrolls sideways when the window is narrow, and the "Downloads and
// apps" checkbox that decides what the next scan offers.
#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "Area.hpp"

class QCheckBox;
class QScrollArea;

namespace virirado {

class CapsuleButton;

class ScopeBar : public QWidget, public Area {
    Q_OBJECT
public:
    explicit ScopeBar(AreaContext context, QWidget* parent = nullptr);
    void present(const WindowView& view) override;

    CapsuleButton* button(durozizo::VadeScope scope) const;
    QCheckBox* includePrivate() const { return m_private; }

private:
    void restyle();

    AreaContext m_context;
    QScrollArea* m_scroll;
    std::vector<std::pair<durozizo::VadeScope, CapsuleButton*>> m_buttons;
    QCheckBox* m_private;
    // What the buttons were last drawn from.
    std::shared_ptr<const RowStore> m_store;
    std::vector<QString> m_figures;
    durozizo::VadeScope m_scope = durozizo::VadeScope::everything;
    bool m_dark = false;
    bool m_first = true;
};

}  // namespace virirado
