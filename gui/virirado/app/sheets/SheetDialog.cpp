#include "SheetDialog.hpp"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ConfirmSheet.hpp"

namespace virirado {

SheetDialog::SheetDialog(AreaContext context, QWidget* parent)
    : QDialog(parent), m_context(context) {
    setWindowModality(Qt::WindowModal);
    setWindowTitle(QStringLiteral("Virirado"));
}

void SheetDialog::reject() {
    if (m_closing) {
        QDialog::reject();
        return;
    }
    backOut();
}

void SheetDialog::closeFromHost() {
    m_closing = true;
    QDialog::reject();
    deleteLater();
}

void SheetDialog::closeEvent(QCloseEvent* event) {
    if (m_closing) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
    backOut();
}

namespace {

// A sheet not drawn yet: its name and the buttons that back out or go on.
class PlainSheet : public SheetDialog {
public:
    PlainSheet(AreaContext context, QWidget* parent, const QString& title,
               std::function<void(WindowActions&)> back, const QString& forwardText,
               std::function<void(WindowActions&)> forward)
        : SheetDialog(context, parent), m_back(std::move(back)) {
        setObjectName(QStringLiteral("sheet"));
        setMinimumSize(460, 190);
        auto* column = new QVBoxLayout(this);
        auto* label = new QLabel(title, this);
        label->setTextFormat(Qt::PlainText);
        column->addWidget(label);
        column->addStretch();
        auto* row = new QHBoxLayout;
        auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
        cancel->setAutoDefault(false);
        connect(cancel, &QPushButton::clicked, this, [this] { backOut(); });
        row->addWidget(cancel);
        row->addStretch();
        if (forward) {
            auto* next = new QPushButton(forwardText, this);
            next->setAutoDefault(false);
            connect(next, &QPushButton::clicked, this,
                    [this, forward] { forward(m_context.actions); });
            row->addWidget(next);
        }
        column->addLayout(row);
    }
    void present(const WindowView&) override {}

protected:
    void backOut() override { m_back(m_context.actions); }

private:
    std::function<void(WindowActions&)> m_back;
};

}  // namespace

SheetMakers SheetMakers::standard() {
    SheetMakers m;
    m.confirm = [](AreaContext c, QWidget* parent) -> SheetDialog* {
        return new ConfirmSheet(c, parent);
    };
    m.checkFirst = [](AreaContext c, QWidget* parent) -> SheetDialog* {
        return new PlainSheet(
            c, parent, QStringLiteral("Check first"), [](WindowActions& a) { a.keepCheckFirst(); },
            QStringLiteral("Clean it"), [](WindowActions& a) { a.cleanCheckFirst(); });
    };
    m.quickDeleteFirst = [](AreaContext c, QWidget* parent) -> SheetDialog* {
        return new PlainSheet(
            c, parent, QStringLiteral("Quick Delete \u00B7 Confirmation 1 of 2"),
            [](WindowActions& a) { a.cancelQuickDelete(); },
            QStringLiteral("Continue to Final Confirmation\u2026"),
            [](WindowActions& a) { a.continueQuickDelete(); });
    };
    return m;
}

}  // namespace virirado
