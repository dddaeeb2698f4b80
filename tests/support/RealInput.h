#pragma once

// A person's way into the windows: clicks on the part of a control a person would aim at,
// menus opened from the menu bar, items chosen from a drop-down's open list. Everything goes
// through QTest's mouse and key events, so focus and selection follow as they do on screen.

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

#include <gtest/gtest.h>

namespace mt::test {

// Shows the window and waits until it is the active one, so that key events reach the widget
// with the focus.
inline void ShowActive(QWidget& window) {
    window.show();
    window.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
}

// Where the style draws one part of a scroll bar (the thumb, the trough either side of it,
// the arrows), in the bar's own coordinates.
inline QRect ScrollBarPart(const QScrollBar& bar, QStyle::SubControl part) {
    QStyleOptionSlider option;
    option.initFrom(&bar);
    option.orientation = bar.orientation();
    option.minimum = bar.minimum();
    option.maximum = bar.maximum();
    option.sliderPosition = bar.sliderPosition();
    option.sliderValue = bar.value();
    option.singleStep = bar.singleStep();
    option.pageStep = bar.pageStep();
    option.upsideDown = bar.invertedAppearance();
    option.subControls = QStyle::SC_All;
    return bar.style()->subControlRect(QStyle::CC_ScrollBar, &option, part, &bar);
}

// Clicks a check box on its box, where a person aims (its middle may lie past its text).
inline void ClickCheckBox(QCheckBox& box) {
    QStyleOptionButton option;
    option.initFrom(&box);
    const QRect mark = box.style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, &box);
    QTest::mouseClick(&box, Qt::LeftButton, {}, mark.center());
}

inline void ClickListItem(QListWidget& list, const QString& text) {
    const auto items = list.findItems(text, Qt::MatchExactly);
    ASSERT_EQ(items.size(), 1) << text.toStdString();
    list.scrollToItem(items.front());
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                      list.visualItemRect(items.front()).center());
}

// Opens the drop-down with a click and clicks the item in its list.
inline void ChooseComboItem(QComboBox& box, const QString& text) {
    const int index = box.findText(text);
    ASSERT_GE(index, 0) << text.toStdString();
    QTest::mouseClick(&box, Qt::LeftButton);
    QAbstractItemView* list = box.view();
    ASSERT_TRUE(QTest::qWaitFor([list] { return list->isVisible(); }));
    // The open list ignores a release that follows its opening too closely (a press-drag-
    // release gesture); a person's second click comes later than that.
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    const QModelIndex item = box.model()->index(index, box.modelColumn());
    list->scrollTo(item);
    const QPoint at(list->viewport()->width() / 2, list->visualRect(item).center().y());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    EXPECT_TRUE(QTest::qWaitFor([list] { return !list->isVisible(); }));
}

// Opens the item's menu from the window's menu bar and clicks the item.
inline void ChooseMenuItem(QMainWindow& window, QAction& item) {
    QMenu* menu = nullptr;
    for (QObject* holder : item.associatedObjects()) {
        if (auto* m = qobject_cast<QMenu*>(holder); m != nullptr && m->menuAction() != nullptr) {
            menu = m;
        }
    }
    ASSERT_NE(menu, nullptr) << item.objectName().toStdString();
    QMenuBar* bar = window.menuBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu->menuAction()).center());
    ASSERT_TRUE(QTest::qWaitFor([menu] { return menu->isVisible(); }))
        << item.objectName().toStdString();
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(&item).center());
}

} // namespace mt::test
