// Step 1 of 2 of a quick delete: names the item, what it gives back and what
// cleaning does to it, and asks whether to go on to the final confirmation,
// which then always asks for the typed code. Escape cancels, Return goes on.
#pragma once

#include <optional>

#include "Rows.hpp"
#include "SheetDialog.hpp"

class QPlainTextEdit;

namespace virirado {

class CapsuleButton;
class ClampedLabel;
class LivePill;
class PanelBox;

class QuickDeleteFirstSheet : public SheetDialog {
    Q_OBJECT
public:
    QuickDeleteFirstSheet(AreaContext context, QWidget* parent);

    void present(const WindowView& view) override;

protected:
    void backOut() override;
    QWidget* firstFocus() const override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void build();
    void applyScheme();
    void showPath(const std::optional<std::string>& path);

    std::optional<VadeRow> m_row;
    bool m_dark = false;
    bool m_presented = false;

    ClampedLabel* m_title = nullptr;
    LivePill* m_pill = nullptr;
    ClampedLabel* m_name = nullptr;
    QPlainTextEdit* m_path = nullptr;
    PanelBox* m_panel = nullptr;
    ClampedLabel* m_size = nullptr;
    ClampedLabel* m_dot = nullptr;
    ClampedLabel* m_fate = nullptr;
    ClampedLabel* m_question = nullptr;
    CapsuleButton* m_cancel = nullptr;
    CapsuleButton* m_continue = nullptr;
};

}  // namespace virirado
