// Opens when the user ticks a row that needs checking first: it lists exactly
// what the row holds and lets the user keep it unticked or tick it. Nothing is
// deleted from here. Escape keeps the row, Return ticks it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Rows.hpp"
#include "SheetDialog.hpp"

class QScrollArea;

namespace virirado {

class CapsuleButton;
class CheckList;
class ClampedLabel;

class CheckFirstSheet : public SheetDialog {
    Q_OBJECT
public:
    CheckFirstSheet(AreaContext context, QWidget* parent);

    void present(const WindowView& view) override;

protected:
    void backOut() override;
    QWidget* firstFocus() const override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void build();
    void fillList();
    void applyScheme();
    void fitToContent();
    void cleanIt();

    std::optional<VadeRow> m_row;
    bool m_dryRun = false;
    std::string m_home;
    bool m_dark = false;
    bool m_presented = false;

    ClampedLabel* m_title = nullptr;
    ClampedLabel* m_explanation = nullptr;
    ClampedLabel* m_name = nullptr;
    QScrollArea* m_scroll = nullptr;
    CheckList* m_list = nullptr;
    ClampedLabel* m_why = nullptr;
    CapsuleButton* m_keep = nullptr;
    CapsuleButton* m_clean = nullptr;
};

}  // namespace virirado
