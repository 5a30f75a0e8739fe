// The cleanup list as a screen reader finds it: its lines and tick controls as
// elements, what pressing them does, and what a listening tool is told.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QScrollBar>

#include "AccessRecorder.hpp"
#include "ListHarness.hpp"

namespace virirado {
namespace {

using testing::AccessRecorder;
using testing::ListHarness;

QAccessibleInterface* listElement(const ListHarness& h) {
    return QAccessible::queryAccessibleInterface(h.list);
}

QAccessibleInterface* lineElement(const ListHarness& h, const std::string& id) {
    const auto i = h.lineOf(id);
    EXPECT_TRUE(i.has_value()) << id;
    return i ? listElement(h)->child(static_cast<int>(*i)) : nullptr;
}

QAccessibleInterface* tickElement(const ListHarness& h, const std::string& id) {
    QAccessibleInterface* line = lineElement(h, id);
    return line != nullptr ? line->child(0) : nullptr;
}

std::string nameOf(const QAccessibleInterface* element) {
    return element != nullptr ? element->text(QAccessible::Name).toStdString() : "(none)";
}

void pressElement(QAccessibleInterface* element) {
    ASSERT_NE(element, nullptr);
    ASSERT_NE(element->actionInterface(), nullptr);
    element->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
}

// Where line `id` is on screen, as the painter draws it.
QRect lineOnScreen(const ListHarness& h, const std::string& id) {
    const QRect r = h.list->lineRect(h.lineOf(id).value()).toAlignedRect();
    return {h.list->viewport()->mapToGlobal(r.topLeft()), r.size()};
}

TEST(CleanupListAccess, LinesAndTicksAreElementsWithTheListsWords) {
    ListHarness h;
    h.model().select("npm");
    h.settle();
    QAccessibleInterface* list = listElement(h);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->role(), QAccessible::Tree);
    EXPECT_EQ(nameOf(list), "Cleanup list by kind, biggest first");
    // The selected line says itself now; the list no longer repeats it.
    EXPECT_EQ(list->text(QAccessible::Description).toStdString(), "");

    // One element per line, in order: a row's line is a check box, a group's
    // an item; each holds its tick, a check box.
    ASSERT_EQ(list->childCount(), static_cast<int>(h.list->lines().size()));
    for (int i = 0; i < list->childCount(); ++i) {
        QAccessibleInterface* line = list->child(i);
        ASSERT_NE(line, nullptr) << i;
        const bool group =
            h.list->lines()[static_cast<std::size_t>(i)].kind == ListLine::Kind::group;
        EXPECT_EQ(line->role(), group ? QAccessible::ListItem : QAccessible::CheckBox) << i;
        EXPECT_EQ(line->state().expandable, group) << i;
        EXPECT_EQ(line->state().checkable, !group) << i;
        EXPECT_EQ(nameOf(line), h.list->spokenLine(static_cast<std::size_t>(i)).toStdString());
        EXPECT_EQ(list->indexOfChild(line), i);
        EXPECT_EQ(line->parent(), list);
        ASSERT_EQ(line->childCount(), 1) << i;
        EXPECT_EQ(line->child(0)->role(), QAccessible::CheckBox) << i;
        EXPECT_TRUE(line->child(0)->state().checkable) << i;
        EXPECT_EQ(line->indexOfChild(line->child(0)), 0);
        EXPECT_EQ(line->child(0)->parent(), line);
        // Asked again, the same element.
        EXPECT_EQ(list->child(i), line);
    }

    EXPECT_EQ(nameOf(lineElement(h, "group:caches")), "Caches, 3 items, gets back 6.1 GB, open");
    EXPECT_EQ(nameOf(lineElement(h, "npm")), "npm cache, gets back 1.3 GB, Keep it");
    EXPECT_EQ(nameOf(lineElement(h, "brew")), "Homebrew cache, gets back 2.8 GB, Clean it");
    EXPECT_EQ(nameOf(tickElement(h, "npm")), "Keep it");
    EXPECT_EQ(nameOf(tickElement(h, "brew")), "Clean it");
    EXPECT_EQ(nameOf(tickElement(h, "group:caches")), "Some ticked");
    EXPECT_EQ(nameOf(tickElement(h, "group:derived")), "All ticked");
    EXPECT_EQ(nameOf(tickElement(h, "group:android")), "None ticked");
    const auto closed = h.lineOf("group:android");
    EXPECT_EQ(nameOf(list->child(static_cast<int>(*closed))),
              "Android, 2 items, gets back 4.5 GB, closed");

    // A tick's states are on the tick and on a row's line; "Some ticked" is mixed.
    struct Ticked {
        std::string id;
        bool checked, mixed;
    };
    for (const Ticked& t : std::vector<Ticked>{{"npm", false, false},
                                               {"brew", true, false},
                                               {"group:caches", false, true},
                                               {"group:derived", true, false},
                                               {"group:android", false, false}}) {
        QAccessibleInterface* tick = tickElement(h, t.id);
        EXPECT_EQ(tick->state().checked, t.checked) << t.id;
        EXPECT_EQ(tick->state().checkStateMixed, t.mixed) << t.id;
        if (t.id.starts_with("group:")) continue;
        EXPECT_EQ(lineElement(h, t.id)->state().checked, t.checked) << t.id;
    }
    // A group line is open or closed; it reads its tick's words with it.
    QAccessibleInterface* caches = lineElement(h, "group:caches");
    EXPECT_TRUE(caches->state().expanded);
    EXPECT_FALSE(caches->state().collapsed);
    EXPECT_FALSE(caches->state().checked);
    EXPECT_EQ(caches->text(QAccessible::Description), "Some ticked");
    QAccessibleInterface* android = list->child(static_cast<int>(*closed));
    EXPECT_FALSE(android->state().expanded);
    EXPECT_TRUE(android->state().collapsed);
    EXPECT_EQ(android->text(QAccessible::Description), "None ticked");
    // A row's badge is read with its line, in its written case.
    EXPECT_EQ(lineElement(h, "npm")->text(QAccessible::Description), "Safe");
    EXPECT_EQ(lineElement(h, "sim2")->text(QAccessible::Description), "Check");

    // A row that cannot be ticked has a disabled tick that cannot be pressed.
    h.model().select("docker");
    h.settle();
    QAccessibleInterface* dockerTick = tickElement(h, "docker");
    EXPECT_TRUE(dockerTick->state().disabled);
    EXPECT_TRUE(dockerTick->actionInterface()->actionNames().isEmpty());
    EXPECT_EQ(lineElement(h, "docker")->text(QAccessible::Description), "Look only");
    QAccessibleInterface* npmTick = tickElement(h, "npm");
    EXPECT_FALSE(npmTick->state().disabled);
    EXPECT_EQ(npmTick->actionInterface()->actionNames(),
              QStringList{QAccessibleActionInterface::pressAction()});

    // The selected line, focused only while the list has the keys.
    QAccessibleInterface* docker = lineElement(h, "docker");
    EXPECT_TRUE(docker->state().selected);
    EXPECT_TRUE(docker->state().selectable);
    EXPECT_FALSE(lineElement(h, "npm")->state().selected);
    EXPECT_FALSE(docker->state().focused);
    h.list->setFocus();
    h.settle();
    EXPECT_TRUE(docker->state().focused);
    EXPECT_FALSE(lineElement(h, "npm")->state().focused);
    EXPECT_EQ(list->focusChild(), docker);
}

TEST(CleanupListAccess, ElementsLieWhereTheLinesAreDrawn) {
    ListHarness h;
    h.window->resize(1280, 720);
    h.openEveryGroup();
    h.model().setSelection(h.list->groups().front().id());
    h.settle();
    QAccessibleInterface* list = listElement(h);
    const std::string first = lineId(h.list->lines().front(), h.list->groups());
    const std::string last = lineId(h.list->lines().back(), h.list->groups());
    QAccessibleInterface* firstLine = lineElement(h, first);
    QAccessibleInterface* lastLine = lineElement(h, last);
    ASSERT_GT(h.list->verticalScrollBar()->maximum(), 0);

    EXPECT_EQ(firstLine->rect(), lineOnScreen(h, first));
    EXPECT_FALSE(firstLine->state().offscreen);
    // The tick control: its 26-point square at the line's right end.
    const QRect tick = firstLine->child(0)->rect();
    EXPECT_EQ(tick.size(), QSize(26, 26));
    EXPECT_TRUE(firstLine->rect().contains(tick));
    EXPECT_EQ(firstLine->rect().right() - tick.right(), 10);

    // A line below the view keeps its place there, off screen.
    const QRect viewOnScreen(h.list->viewport()->mapToGlobal(QPoint(0, 0)),
                             h.list->viewport()->size());
    EXPECT_EQ(lastLine->rect(), lineOnScreen(h, last));
    EXPECT_GT(lastLine->rect().top(), viewOnScreen.bottom());
    EXPECT_TRUE(lastLine->state().offscreen);
    EXPECT_TRUE(lastLine->child(0)->state().offscreen);

    // Scrolled just past the first line, it lies under the caption, inside
    // the list but out of the view.
    h.list->verticalScrollBar()->setValue(static_cast<int>(kGroupLineHeight));
    ASSERT_GT(h.list->viewport()->y(), 0);
    EXPECT_TRUE(h.list->rect().intersects(
        QRect(h.list->mapFromGlobal(firstLine->rect().topLeft()), firstLine->rect().size())));
    EXPECT_TRUE(firstLine->state().offscreen);
    EXPECT_FALSE(list->child(1)->state().offscreen);

    // Scrolled to the end, the first line is above the view, under the caption.
    h.model().select(last);
    h.settle();
    EXPECT_FALSE(lastLine->state().offscreen);
    EXPECT_TRUE(firstLine->state().offscreen);
    EXPECT_LT(firstLine->rect().bottom(), viewOnScreen.top());
    EXPECT_EQ(firstLine->rect(), lineOnScreen(h, first));

    // What lies under a point: the line, then within it its tick.
    const QRect lastRect = lastLine->rect();
    EXPECT_EQ(list->childAt(lastRect.left() + 64, lastRect.center().y()), lastLine);
    const QPoint tickCentre = lastLine->child(0)->rect().center();
    EXPECT_EQ(list->childAt(tickCentre.x(), tickCentre.y()), lastLine);
    EXPECT_EQ(lastLine->childAt(tickCentre.x(), tickCentre.y()), lastLine->child(0));
    EXPECT_EQ(lastLine->childAt(lastRect.left() + 64, lastRect.center().y()), nullptr);
}

// Pressing an element and clicking what it stands for, side by side: the same
// calls reach the engine and the window ends in the same state.
TEST(CleanupListAccess, PressingAnElementDoesWhatAClickDoes) {
    ListHarness pressed;
    ListHarness clicked;
    const std::string lastGroup = pressed.list->groups().back().key;
    ASSERT_FALSE(pressed.model().expanded().contains(lastGroup));
    struct Step {
        std::string id;
        bool tick;
    };
    const std::vector<Step> steps{
        {"group:" + lastGroup, false},  // opens and selects it
        {"group:" + lastGroup, false},  // folds it
        {"chrome", false},              // selects, never ticks
        {"npm", true},                  // a safe row: ticked at once
        {"brew", true},                 // a ticked row: unticked
        {"group:caches", true},         // the group as a unit
        {"group:derived", true},
        {"docker", true},  // disabled: nothing at all
    };
    for (const Step& step : steps) {
        if (step.id == "docker") {
            for (ListHarness* h : {&pressed, &clicked}) {
                h->model().select("docker");
                h->settle();
            }
        }
        pressElement(step.tick ? tickElement(pressed, step.id) : lineElement(pressed, step.id));
        pressed.settle();
        clicked.click(step.id, step.tick);
        EXPECT_EQ(pressed.engine.calls, clicked.engine.calls) << step.id;
        EXPECT_EQ(pressed.model().selection(), clicked.model().selection()) << step.id;
        EXPECT_EQ(pressed.model().expanded(), clicked.model().expanded()) << step.id;
    }
    EXPECT_EQ(pressed.engine.calls,
              (std::vector<std::string>{"start", "tick npm", "untick brew", "untick chrome,npm",
                                        "untick derived,d2,d3"}));
    EXPECT_EQ(pressed.model().selection(), "docker");

    // A row that needs checking first asks before anything is ticked.
    pressElement(tickElement(pressed, "sim2"));
    pressed.settle();
    ASSERT_TRUE(pressed.model().checkFirst().has_value());
    EXPECT_EQ(pressed.model().checkFirst()->id, "sim2");
    EXPECT_EQ(pressed.engine.calls.size(), 5u);

    // While the query holds every group open, pressing a group line selects
    // it and folds nothing.
    pressed.model().keepCheckFirst();
    pressed.model().setQuery("e");
    pressed.settle();
    const std::string first = pressed.list->groups().front().key;
    const std::set<std::string> open = pressed.model().expanded();
    pressElement(lineElement(pressed, "group:" + first));
    pressed.settle();
    EXPECT_EQ(pressed.model().selection(), "group:" + first);
    EXPECT_EQ(pressed.model().expanded(), open);
}

TEST(CleanupListAccess, ToolsHearTheKeysTheTicksAndNewLayouts) {
    if (!AccessRecorder::canListen()) GTEST_SKIP() << "built without Qt's private headers";
    ListHarness h;
    AccessRecorder tool;
    h.model().select("group:caches");
    h.settle();
    QAccessibleInterface* list = listElement(h);
    QAccessibleInterface* group = lineElement(h, "group:caches");
    QAccessibleInterface* groupTick = tickElement(h, "group:caches");

    // Focus on the list lands on the line the keys act on, after the list.
    h.list->setFocus();
    h.settle();
    const auto focus = std::find_if(tool.events.rbegin(), tool.events.rend(),
                                    [](const auto& e) { return e.type == QAccessible::Focus; });
    ASSERT_NE(focus, tool.events.rend());
    EXPECT_EQ(focus->element, group);
    EXPECT_EQ(tool.about(list, QAccessible::Focus).size(), 1u);

    // A key moves the focus and the selection to the next line.
    tool.clear();
    h.press(Qt::Key_Down);
    ASSERT_EQ(h.model().selection(), "brew");
    QAccessibleInterface* brew = lineElement(h, "brew");
    ASSERT_EQ(tool.about(brew, QAccessible::Focus).size(), 1u);
    EXPECT_EQ(tool.about(brew, QAccessible::Focus)[0].name.toStdString(),
              "Homebrew cache, gets back 2.8 GB, Clean it");
    EXPECT_EQ(tool.about(brew, QAccessible::SelectionAdd).size(), 1u);
    EXPECT_EQ(tool.about(group, QAccessible::SelectionRemove).size(), 1u);
    const auto nowSelected = tool.about(brew, QAccessible::StateChanged);
    ASSERT_EQ(nowSelected.size(), 1u);
    EXPECT_TRUE(nowSelected[0].changed.selected);
    EXPECT_TRUE(brew->state().selected);
    const auto noLonger = tool.about(group, QAccessible::StateChanged);
    ASSERT_EQ(noLonger.size(), 1u);
    EXPECT_TRUE(noLonger[0].changed.selected);
    EXPECT_FALSE(group->state().selected);

    // A tick renames the line and its tick, and the group's tick; the elements
    // a tool holds stay the same ones across the refresh.
    h.press(Qt::Key_Down);
    h.press(Qt::Key_Down);
    ASSERT_EQ(h.model().selection(), "npm");
    QAccessibleInterface* npm = lineElement(h, "npm");
    QAccessibleInterface* npmTick = npm->child(0);
    const QAccessible::Id npmId = QAccessible::uniqueId(npm);
    const QAccessible::Id npmTickId = QAccessible::uniqueId(npmTick);
    tool.clear();
    h.press(Qt::Key_Space);
    ASSERT_EQ(h.engine.calls.back(), "tick npm");
    // Asked through their ids first: an element dropped is gone.
    ASSERT_EQ(QAccessible::accessibleInterface(npmId), npm);
    ASSERT_EQ(QAccessible::accessibleInterface(npmTickId), npmTick);
    EXPECT_EQ(lineElement(h, "npm"), npm);
    EXPECT_EQ(npm->child(0), npmTick);
    const auto lineNamed = tool.about(npm, QAccessible::NameChanged);
    ASSERT_EQ(lineNamed.size(), 1u);
    EXPECT_EQ(lineNamed[0].name.toStdString(), "npm cache, gets back 1.3 GB, Clean it");
    const auto tickNamed = tool.about(npmTick, QAccessible::NameChanged);
    ASSERT_EQ(tickNamed.size(), 1u);
    EXPECT_EQ(tickNamed[0].name.toStdString(), "Clean it");
    const auto groupTickNamed = tool.about(groupTick, QAccessible::NameChanged);
    ASSERT_EQ(groupTickNamed.size(), 1u);
    EXPECT_EQ(groupTickNamed[0].name.toStdString(), "All ticked");
    // Lines whose words did not change say nothing, and the lines are the
    // same lines: no call to read them again.
    EXPECT_TRUE(tool.about(lineElement(h, "brew"), QAccessible::NameChanged).empty());
    EXPECT_TRUE(tool.about(group, QAccessible::NameChanged).empty());
    EXPECT_FALSE(tool.any(QAccessible::ObjectReorder));

    // Folding the group lays the lines out anew: tools read them again, the
    // group's element says "closed", the rows' elements go, and the lines
    // below keep their elements in their new places.
    h.press(Qt::Key_Left);
    ASSERT_EQ(h.model().selection(), "group:caches");
    const std::string below =
        lineId(h.list->lines()[*h.lineOf("group:caches") + 4], h.list->groups());
    QAccessibleInterface* belowLine = lineElement(h, below);
    const QAccessible::Id groupId = QAccessible::uniqueId(group);
    const QAccessible::Id belowId = QAccessible::uniqueId(belowLine);
    tool.clear();
    h.press(Qt::Key_Left);
    ASSERT_FALSE(h.model().expanded().contains("caches"));
    EXPECT_EQ(tool.about(list, QAccessible::ObjectReorder).size(), 1u);
    ASSERT_EQ(QAccessible::accessibleInterface(groupId), group);
    ASSERT_EQ(QAccessible::accessibleInterface(belowId), belowLine);
    EXPECT_EQ(lineElement(h, "group:caches"), group);
    const auto folded = tool.about(group, QAccessible::NameChanged);
    ASSERT_EQ(folded.size(), 1u);
    EXPECT_EQ(folded[0].name.toStdString(), "Caches, 3 items, gets back 6.1 GB, closed");
    EXPECT_EQ(QAccessible::accessibleInterface(npmId), nullptr);
    EXPECT_EQ(lineElement(h, below), belowLine);
    EXPECT_EQ(list->indexOfChild(belowLine), static_cast<int>(*h.lineOf(below)));
    EXPECT_EQ(nameOf(belowLine), h.list->spokenLine(*h.lineOf(below)).toStdString());
}

// Whether one of the changes of state told is of the states `which` marks.
bool told(const std::vector<QAccessible::State>& changes, QAccessible::State which) {
    return std::any_of(changes.begin(), changes.end(), [&](const QAccessible::State& c) {
        return (which.checked && c.checked) || (which.checkStateMixed && c.checkStateMixed) ||
               (which.expanded && c.expanded);
    });
}

QAccessible::State checkedState() {
    QAccessible::State s;
    s.checked = true;
    return s;
}

QAccessible::State mixedState() {
    QAccessible::State s;
    s.checkStateMixed = true;
    return s;
}

QAccessible::State expandedState() {
    QAccessible::State s;
    s.expanded = true;
    return s;
}

// A reader speaks a change of states of the element it is on, not a new name:
// every tick and fold is told so, whether a key, a click or a tool's press
// made it, and on a group line the keys are on also in words.
TEST(CleanupListAccess, EveryTickAndFoldIsToldAsAChangeOfState) {
    if (!AccessRecorder::canListen()) GTEST_SKIP() << "built without Qt's private headers";
    enum class Way { key, click, press };
    for (const Way way : {Way::key, Way::click, Way::press}) {
        SCOPED_TRACE(static_cast<int>(way));
        ListHarness h;
        AccessRecorder tool;
        h.model().select("npm");
        h.settle();
        h.list->setFocus();
        h.settle();
        QAccessibleInterface* npm = lineElement(h, "npm");
        QAccessibleInterface* npmTick = tickElement(h, "npm");
        QAccessibleInterface* group = lineElement(h, "group:caches");
        QAccessibleInterface* groupTick = tickElement(h, "group:caches");
        const auto act = [&](const std::string& id, bool onTick, Qt::Key key) {
            switch (way) {
                case Way::key:
                    h.press(key);
                    break;
                case Way::click:
                    h.click(id, onTick);
                    break;
                case Way::press:
                    pressElement(onTick ? tickElement(h, id) : lineElement(h, id));
                    h.settle();
                    break;
            }
        };

        // A row: its line and its tick are checked now; its group's tick
        // turns from "Some ticked" to "All ticked".
        tool.clear();
        act("npm", true, Qt::Key_Space);
        ASSERT_EQ(h.engine.calls.back(), "tick npm");
        EXPECT_TRUE(told(tool.stateChanges(npm), checkedState()));
        EXPECT_TRUE(npm->state().checked);
        EXPECT_TRUE(told(tool.stateChanges(npmTick), checkedState()));
        EXPECT_TRUE(told(tool.stateChanges(groupTick), checkedState()));
        EXPECT_TRUE(told(tool.stateChanges(groupTick), mixedState()));
        EXPECT_TRUE(groupTick->state().checked);
        EXPECT_FALSE(groupTick->state().checkStateMixed);
        // The keys are on the row, whose change a reader hears: no words.
        EXPECT_TRUE(tool.announced().empty());

        // The group as a unit, with the keys on its line: a reader takes no
        // checked change from a line that folds, so its tick's words are said.
        h.model().select("group:caches");
        h.settle();
        tool.clear();
        act("group:caches", true, Qt::Key_Space);
        ASSERT_EQ(h.engine.calls.back(), "untick brew,chrome,npm");
        EXPECT_TRUE(told(tool.stateChanges(groupTick), checkedState()));
        EXPECT_FALSE(groupTick->state().checked);
        EXPECT_EQ(tool.about(group, QAccessible::DescriptionChanged).size(), 1u);
        EXPECT_EQ(tool.announced(), std::vector<std::string>{"None ticked"});

        // Folding it: its expanded state changes, and is said.
        tool.clear();
        act("group:caches", false, Qt::Key_Left);
        ASSERT_FALSE(h.model().expanded().contains("caches"));
        EXPECT_TRUE(told(tool.stateChanges(group), expandedState()));
        EXPECT_TRUE(group->state().collapsed);
        EXPECT_EQ(tool.announced(), std::vector<std::string>{"collapsed"});
    }
}

// A bridge that is on before the window is made, reading along with every
// event, as a screen reader on the desktop's bus does.
TEST(CleanupListAccess, ElementsHoldWhileAToolListensFromTheStart) {
    if (!AccessRecorder::canListen()) GTEST_SKIP() << "built without Qt's private headers";
    AccessRecorder tool;
    auto h = std::make_unique<ListHarness>();
    h->openEveryGroup();
    QAccessibleInterface* list = listElement(*h);
    ASSERT_EQ(list->role(), QAccessible::Tree);
    ASSERT_EQ(list->childCount(), static_cast<int>(h->list->lines().size()));
    std::vector<std::pair<QAccessible::Id, QAccessibleInterface*>> held;
    for (int i = 0; i < list->childCount(); ++i)
        held.emplace_back(QAccessible::uniqueId(list->child(i)), list->child(i));

    // A new item arrives: every line stays its element and names its line.
    std::vector<ItemRecord> records = h->engine.items;
    ItemRecord fresh = records.front();
    fresh.id = "yarn";
    fresh.category = "caches";
    fresh.label = "Yarn cache";
    fresh.path = "~/.cache/yarn";
    fresh.ticked = false;
    records.push_back(fresh);
    tool.clear();
    h->engine.load(records, 240'400'000'000, 506'300'000'000);
    h->settle();
    ASSERT_TRUE(h->lineOf("yarn").has_value());
    EXPECT_EQ(list->childCount(), static_cast<int>(h->list->lines().size()));
    EXPECT_EQ(tool.about(list, QAccessible::ObjectReorder).size(), 1u);
    for (const auto& [id, line] : held) {
        ASSERT_EQ(QAccessible::accessibleInterface(id), line);
        ASSERT_TRUE(line->isValid());
        const int i = list->indexOfChild(line);
        ASSERT_GE(i, 0);
        EXPECT_EQ(list->child(i), line);
        EXPECT_EQ(nameOf(line), h->list->spokenLine(static_cast<std::size_t>(i)).toStdString());
    }
    // The caches group has a row more, and says so.
    const auto grown = tool.about(lineElement(*h, "group:caches"), QAccessible::NameChanged);
    ASSERT_EQ(grown.size(), 1u);
    EXPECT_TRUE(grown[0].name.startsWith("Caches, 4 items")) << grown[0].name.toStdString();

    // The engine chooses its ids: one may read as its own group's. That row's
    // line and the group's line keep an element each across a new layout.
    ItemRecord odd = fresh;
    odd.id = "group:caches";
    odd.label = "Odd cache";
    records.push_back(odd);
    h->engine.load(records, 240'400'000'000, 506'300'000'000);
    h->settle();
    const auto oddLine = [&h, &odd]() -> int {
        const auto& lines = h->list->lines();
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].kind == ListLine::Kind::child && lines[i].row->id == odd.id)
                return static_cast<int>(i);
        }
        return -1;
    };
    ASSERT_GE(oddLine(), 0);
    QAccessibleInterface* oddElement = list->child(oddLine());
    QAccessibleInterface* caches = lineElement(*h, "group:caches");
    ASSERT_NE(oddElement, caches);
    (void)oddElement->child(0);
    h->model().setExpanded({"caches"});
    h->settle();
    ASSERT_GE(oddLine(), 0);
    EXPECT_EQ(list->child(oddLine()), oddElement);
    EXPECT_EQ(oddElement->role(), QAccessible::CheckBox);
    EXPECT_EQ(nameOf(oddElement),
              h->list->spokenLine(static_cast<std::size_t>(oddLine())).toStdString());
    EXPECT_EQ(lineElement(*h, "group:caches"), caches);
    EXPECT_EQ(caches->role(), QAccessible::ListItem);

    // The window goes while the tool reads along.
    tool.clear();
    h.reset();
    EXPECT_TRUE(tool.any(QAccessible::ObjectHide));
}

}  // namespace
}  // namespace virirado
