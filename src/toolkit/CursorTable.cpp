#include "toolkit/CursorTable.h"

#include "toolkit/AnimatedCursor.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QWidget>
#include <utility>
#include <vector>

namespace {

constexpr int kSlots = 4;

struct Table {
    QPointer<TAnimatedCursor> cursors[kSlots];
    // Controls remember their slot so a slot filled later reaches them.
    std::vector<std::pair<QPointer<QWidget>, int>> controls;
    int screen = crDefault;
    bool plainPushed = false; // an empty slot on screen shows the arrow
};

Table& TheTable() {
    static Table table;
    return table;
}

bool ValidSlot(int slot) {
    return slot > 0 && slot < kSlots;
}

void TakeOffScreen(Table& t) {
    if (ValidSlot(t.screen) && t.cursors[t.screen])
        t.cursors[t.screen]->SetOnScreen(false);
    if (t.plainPushed) {
        QGuiApplication::restoreOverrideCursor();
        t.plainPushed = false;
    }
}

void PutOnScreen(Table& t, int slot) {
    if (slot == crDefault)
        return;
    if (ValidSlot(slot) && t.cursors[slot]) {
        t.cursors[slot]->SetOnScreen(true);
    } else {
        QGuiApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
        t.plainPushed = true;
    }
}

} // namespace

void SetScreenCursor(int slot) {
    Table& t = TheTable();
    if (slot == t.screen)
        return;
    TakeOffScreen(t);
    t.screen = slot;
    PutOnScreen(t, slot);
}

int ScreenCursor() {
    return TheTable().screen;
}

void SetControlCursor(QWidget* control, int slot) {
    if (!control)
        return;
    Table& t = TheTable();
    std::erase_if(t.controls, [control](const auto& entry) {
        return entry.first.isNull() || entry.first == control;
    });
    for (const QPointer<TAnimatedCursor>& c : t.cursors) {
        if (c)
            c->Detach(control);
    }
    if (slot != crDefault)
        t.controls.emplace_back(control, slot);
    if (ValidSlot(slot) && t.cursors[slot])
        t.cursors[slot]->Attach(control);
    else
        control->setCursor(Qt::ArrowCursor);
}

bool LoadCursorSlot(int slot, const QString& path) {
    if (!ValidSlot(slot))
        return false;
    Table& t = TheTable();
    const bool onScreen = t.screen == slot;
    if (onScreen)
        TakeOffScreen(t);
    delete t.cursors[slot].data();
    // Owned by the application, so the cursors go before the GUI does.
    t.cursors[slot] = TAnimatedCursor::LoadFromFile(path, QCoreApplication::instance()).release();
    for (const auto& [control, s] : t.controls) {
        if (!control || s != slot)
            continue;
        if (t.cursors[slot])
            t.cursors[slot]->Attach(control);
        else
            control->setCursor(Qt::ArrowCursor);
    }
    if (onScreen)
        PutOnScreen(t, slot);
    return !t.cursors[slot].isNull();
}

TAnimatedCursor* CursorSlotCursor(int slot) {
    return ValidSlot(slot) ? TheTable().cursors[slot].data() : nullptr;
}

void ClearCursorSlots() {
    Table& t = TheTable();
    TakeOffScreen(t);
    t.screen = crDefault;
    for (QPointer<TAnimatedCursor>& c : t.cursors) {
        delete c.data();
        c = nullptr;
    }
    t.controls.clear();
}
