#include "ReadAs.hpp"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>
#include <QWidget>

namespace virirado {

namespace {

constexpr const char* kReadAs = "viriradoReadAs";
constexpr const char* kSpokenKey = "viriradoSpokenKey";
constexpr const char* kLabelFor = "viriradoLabelFor";

enum class ReadAs { text = 1, oneText = 2, keyedButton = 3 };

// Kept by the label, so a control that goes first leaves no dangling pointer.
class LabelTarget : public QObject {
public:
    LabelTarget(QObject* label, QWidget* control) : QObject(label), control(control) {
        setObjectName(kLabelFor);
    }
    QPointer<QWidget> control;
};

class TextElement : public QAccessibleWidget {
public:
    TextElement(QWidget* widget, bool whole)
        : QAccessibleWidget(widget, QAccessible::StaticText), m_whole(whole) {}

    int childCount() const override { return m_whole ? 0 : QAccessibleWidget::childCount(); }
    QAccessibleInterface* child(int index) const override {
        return m_whole ? nullptr : QAccessibleWidget::child(index);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return m_whole ? -1 : QAccessibleWidget::indexOfChild(child);
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        return m_whole ? nullptr : QAccessibleWidget::childAt(x, y);
    }

    QList<QPair<QAccessibleInterface*, QAccessible::Relation>> relations(
        QAccessible::Relation match) const override {
        auto found = QAccessibleWidget::relations(match);
        if (!(match & QAccessible::Labelled)) return found;
        auto* target = widget()->findChild<LabelTarget*>(kLabelFor, Qt::FindDirectChildrenOnly);
        if (target == nullptr || target->control == nullptr) return found;
        if (QAccessibleInterface* control = QAccessible::queryAccessibleInterface(target->control))
            found.append({control, QAccessible::Labelled});
        return found;
    }

private:
    bool m_whole;
};

class KeyedButton : public QAccessibleWidget {
public:
    explicit KeyedButton(QWidget* widget) : QAccessibleWidget(widget, QAccessible::Button) {}

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.pressed = button()->isDown();
        return s;
    }
    QStringList actionNames() const override {
        QStringList names;
        if (widget()->isEnabled()) names << pressAction();
        return names + QAccessibleWidget::actionNames();
    }
    // A tool's press is a click, with every check a click makes.
    void doAction(const QString& action) override {
        if (action == pressAction()) {
            if (widget()->isEnabled()) button()->click();
            return;
        }
        QAccessibleWidget::doAction(action);
    }
    // The desktop's bridge joins the list with ";" into "mnemonic;full
    // path;accelerator", and readers speak the accelerator with the button.
    QStringList keyBindingsForAction(const QString& action) const override {
        const auto key = widget()->property(kSpokenKey).value<QKeySequence>();
        if (action != pressAction() || key.isEmpty()) return {};
        return {QString(), QString(), key.toString(QKeySequence::NativeText)};
    }

private:
    QAbstractButton* button() const { return static_cast<QAbstractButton*>(widget()); }
};

QAccessibleInterface* readAsFactory(const QString&, QObject* object) {
    if (object == nullptr || !object->isWidgetType()) return nullptr;
    const QVariant readAs = object->property(kReadAs);
    if (!readAs.isValid()) return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    switch (static_cast<ReadAs>(readAs.toInt())) {
        case ReadAs::text:
            return new TextElement(widget, false);
        case ReadAs::oneText:
            return new TextElement(widget, true);
        case ReadAs::keyedButton:
            if (qobject_cast<QAbstractButton*>(object) == nullptr) return nullptr;
            return new KeyedButton(widget);
    }
    return nullptr;
}

// Before any tool asks for the widget: Qt keeps the first interface it made.
void mark(QWidget* widget, ReadAs how) {
    static const bool installed = [] {
        QAccessible::installFactory(readAsFactory);
        return true;
    }();
    (void)installed;
    widget->setProperty(kReadAs, static_cast<int>(how));
}

}  // namespace

void readAsText(QWidget* widget) {
    mark(widget, ReadAs::text);
}

void readAsOneText(QWidget* widget) {
    mark(widget, ReadAs::oneText);
}

void setLabelFor(QWidget* label, QWidget* control) {
    delete label->findChild<LabelTarget*>(kLabelFor, Qt::FindDirectChildrenOnly);
    new LabelTarget(label, control);
}

void showForReaders(QWidget* widget, bool shown) {
    // Would it show with its parent: a widget not yet shown or hidden shows with it.
    if (widget->isVisibleTo(widget->parentWidget()) == shown) return;
    if (shown && QAccessible::isActive()) {
        // Before it shows, so the news that it shows is already the new element's.
        if (QAccessibleInterface* element = QAccessible::queryAccessibleInterface(widget))
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(element));
    }
    widget->setVisible(shown);
}

void setSpokenKey(QAbstractButton* button, const QKeySequence& key) {
    button->setProperty(kSpokenKey, QVariant::fromValue(key));
    mark(button, ReadAs::keyedButton);
}

}  // namespace virirado
