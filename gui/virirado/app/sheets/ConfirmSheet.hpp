// The last step between a clean preview and a deletion: what the clean will do,
// the typed code when the amount or the kind of data calls for it, and the
// button that starts it. Once the clean has started, the same sheet follows it
// to its result.
//
// Return never deletes here: no button is a default button, and the real Delete
// answers only Ctrl+Shift+D, whose handler checks the confirmation again. The
// code is drawn once per sheet; a new preview is a new sheet.
#pragma once

#include <optional>
#include <string>

#include "CleanProgress.hpp"
#include "ConfirmRules.hpp"
#include "Model.hpp"
#include "SheetDialog.hpp"

class QLineEdit;
class QShortcut;
class QVBoxLayout;

namespace virirado {

class CapsuleButton;
class ClampedLabel;
class CleanProgressView;
class LivePill;
class PanelBox;
class PreviewLine;

class ConfirmSheet : public SheetDialog {
    Q_OBJECT
public:
    ConfirmSheet(AreaContext context, QWidget* parent);

    void present(const WindowView& view) override;

    // The code the user must type; made at the sheet's first presentation.
    const std::string& code() const { return m_code; }
    // Whether the primary button may act now.
    bool isConfirmed() const;
    CleanProgressView* progressView() const { return m_progressView; }

protected:
    void backOut() override;
    QWidget* firstFocus() const override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void build();
    void buildPanel(QVBoxLayout* column);
    void buildCodeRow(QVBoxLayout* column);
    void buildButtons(QVBoxLayout* column);
    void takePreview(const PreviewPayload& payload, bool snapshotMode);
    void fillPanel();
    void refresh();
    void applyScheme();
    void nameSheet(const QString& title);
    void fitToContent();
    void drawCode(bool snapshotMode);
    bool running() const;
    // The primary button, by click, Return in a dry run or Ctrl+Shift+D otherwise.
    void tryClean();
    void deleteShortcut();

    std::optional<PreviewPayload> m_payload;
    ConfirmFacts m_facts;
    std::string m_code;
    bool m_dryRun = false;
    bool m_verifying = false;
    bool m_dark = false;
    bool m_reduceMotion = true;
    bool m_presented = false;
    // Set once the clean was asked for, until the window shows what followed:
    // a second key press in the same moment asks nothing more.
    bool m_sent = false;
    std::optional<durozizo::CleanProgress> m_progress;
    std::optional<std::string> m_logProblem;
    std::string m_home;

    QWidget* m_confirmPage = nullptr;
    ClampedLabel* m_title = nullptr;
    LivePill* m_pill = nullptr;
    ClampedLabel* m_headline = nullptr;
    ClampedLabel* m_split = nullptr;
    PanelBox* m_panel = nullptr;
    std::vector<PreviewLine*> m_lines;
    ClampedLabel* m_more = nullptr;
    ClampedLabel* m_heldBack = nullptr;
    QWidget* m_codeRow = nullptr;
    ClampedLabel* m_prompt = nullptr;
    QLineEdit* m_field = nullptr;
    CapsuleButton* m_cancel = nullptr;
    CapsuleButton* m_primary = nullptr;
    QShortcut* m_deleteKey = nullptr;
    CleanProgressView* m_progressView = nullptr;
};

}  // namespace virirado
