// The list and its selection against a plain model: seeded random sequences of new, edit (renames
// that move the row, category changes), duplicate, cut, paste, delete and filter changes, driven
// by the keys and dialogs a user uses. After every step the list's rows must be the model's
// objects of the filter, sorted as the store sorts (letter case ignored, equal names in the order
// they were made), and the selected row the object the step wrote, or after a delete the row at
// the same place (the last row when the last was deleted). A failure names the seed and the step.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "app/shell.h"
#include "platform/utf8.h"
#include "resources/resource.h"
#include "store/object_store.h"
#include "tests/win/shell_kit.h"
#include "harness/win/ui_driver.h"

namespace {

// Umlauts, hyphens, names equal but for letter case, equal names, and first letters of the
// command keys (N, O, D), whose type-ahead once moved the selection after a dialog.
const wchar_t *const kNames[] = {L"Bank",
                                 L"bank",
                                 L"B\u00e4nk",
                                 L"\u00d6l-Heizung",
                                 L"\u00d6lheizung",
                                 L"Ol",
                                 L"Notiz",
                                 L"Ofen",
                                 L"Dach",
                                 L"Anna-Lena",
                                 L"Annalena",
                                 L"\u00c4rzte",
                                 L"zebra",
                                 L"Zebra",
                                 L"Steuer-ID J\u00fcrgen"};
const wchar_t *const kCategories[] = {L"", L"B\u00fcro", L"Haus-Bank"};

struct ModelObject {
    std::wstring name, category;
    int made;  // the order of making: the store's record ids grow the same way
};

class ListModel {
public:
    std::vector<ModelObject> objects;
    std::wstring filter = kFilterAll;
    int made = 0;

    void add(const std::wstring &name, const std::wstring &category) {
        objects.push_back({name, category, made++});
    }
    bool passes(const ModelObject &o) const {
        if (filter == kFilterAll) return true;
        if (filter == kFilterNone) return o.category.empty();
        return o.category == filter;
    }
    // The rows: the filter's objects by name without regard to letter case, then by making.
    std::vector<const ModelObject *> rows() const {
        std::vector<const ModelObject *> out;
        for (const ModelObject &o : objects)
            if (passes(o)) out.push_back(&o);
        std::stable_sort(out.begin(), out.end(), [](const ModelObject *a, const ModelObject *b) {
            int c = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a->name.c_str(), -1,
                                   b->name.c_str(), -1);
            if (c != CSTR_EQUAL) return c == CSTR_LESS_THAN;
            return a->made < b->made;
        });
        return out;
    }
    int rowOf(int madeId) const {
        std::vector<const ModelObject *> r = rows();
        for (size_t i = 0; i < r.size(); ++i)
            if (r[i]->made == madeId) return static_cast<int>(i);
        return -1;
    }
    ModelObject *byMade(int madeId) {
        for (ModelObject &o : objects)
            if (o.made == madeId) return &o;
        return nullptr;
    }
};

void ReleaseCtrl() {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = keys[VK_LCONTROL] = 0;
    SetKeyboardState(keys);
}

// The dialog's category combo: the category, or " - Ohne -" for none.
void PickCategory(HWND d, const std::wstring &category) {
    HWND combo = GetDlgItem(d, IDC_EDIT_CATEGORY);
    const wchar_t *text = category.empty() ? kFilterNone : category.c_str();
    LRESULT i = SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                             reinterpret_cast<LPARAM>(text));
    ASSERT_NE(i, CB_ERR) << Utf8(text);
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
    SendMessageW(d, WM_COMMAND, MAKEWPARAM(IDC_EDIT_CATEGORY, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
}

class SelectionModelTest : public ShellTest {
protected:
    ListModel model;
    std::mt19937 random;
    // What the program's clipboard holds (cut and duplicate copy the selected object).
    bool clipboardFull = false;
    ModelObject clipboard;
    // The object the last step wrote, by its making; -1 when the step selects by place.
    int expected = -1;

    std::wstring anyName() {
        return kNames[std::uniform_int_distribution<size_t>(0, std::size(kNames) - 1)(random)];
    }
    std::wstring anyCategory() {
        return kCategories[std::uniform_int_distribution<size_t>(
            0, std::size(kCategories) - 1)(random)];
    }
    // The model's object on the list's selected row.
    const ModelObject *selected() {
        int row = Selection();
        std::vector<const ModelObject *> rows = model.rows();
        return row >= 0 && row < static_cast<int>(rows.size()) ? rows[static_cast<size_t>(row)]
                                                               : nullptr;
    }
    // A command key whose dialog the step answers; the user lets go of Ctrl while typing.
    void KeyWithDialog(UINT key, const std::function<void(HWND)> &step) {
        UiDriver ui;
        bool closed = false;
        ui.onNextDialog([&](HWND d) {
            ReleaseCtrl();
            step(d);
            PressButton(d, IDOK);
            closed = true;
        });
        PressKey(key, true);
        ASSERT_TRUE(PumpShellUntil([&] { return closed; })) << "no dialog for Ctrl+" << char(key);
        PumpShellFor(30);
    }

    std::string Step(int n) {
        const ModelObject *sel = selected();
        switch (std::uniform_int_distribution<int>(0, 7)(random)) {
        case 0: {  // new object, in a category the filter may hide
            std::wstring name = anyName(), category = anyCategory();
            KeyWithDialog('N', [&](HWND d) {
                SetDlgItemTextW(d, IDC_EDIT_FIELD1, name.c_str());
                SetDlgItemTextW(d, IDC_EDIT_FIELD2, L"2");
                PickCategory(d, category);
            });
            model.add(name, category);
            expected = model.made - 1;
            return "new " + Utf8(name) + " in " + Utf8(category);
        }
        case 1:
        case 2: {  // edit: a new name, sometimes another category
            if (!sel) return "edit without selection";
            const int id = sel->made;
            std::wstring name = anyName();
            std::wstring category = n % 3 == 0 ? anyCategory() : sel->category;
            KeyWithDialog('O', [&](HWND d) {
                SetDlgItemTextW(d, IDC_EDIT_FIELD1, name.c_str());
                PickCategory(d, category);
            });
            ModelObject *o = model.byMade(id);
            o->name = name;
            o->category = category;
            expected = id;
            return "edit to " + Utf8(name) + " in " + Utf8(category);
        }
        case 3: {  // duplicate, renamed in the dialog that opens on the copy
            if (!sel) return "duplicate without selection";
            ModelObject copy = *sel;
            std::wstring name = anyName();
            KeyWithDialog('D', [&](HWND d) { SetDlgItemTextW(d, IDC_EDIT_FIELD1, name.c_str()); });
            clipboard = copy;
            clipboardFull = true;
            model.add(name, copy.category);
            expected = model.made - 1;
            return "duplicate as " + Utf8(name);
        }
        case 4: {  // cut
            if (!sel) return "cut without selection";
            const int row = Selection();
            clipboard = *sel;
            clipboardFull = true;
            const int id = sel->made;
            PressKey('X', true);
            model.objects.erase(std::find_if(model.objects.begin(), model.objects.end(),
                                             [id](const ModelObject &o) { return o.made == id; }));
            expected = -2 - row;
            return "cut " + Utf8(clipboard.name);
        }
        case 5: {  // paste
            PressKey('V', true);
            if (!clipboardFull) return "paste of nothing";
            model.add(clipboard.name, clipboard.category);
            expected = model.made - 1;
            return "paste " + Utf8(clipboard.name);
        }
        case 6: {  // delete, confirmed
            if (!sel) return "delete without selection";
            const int row = Selection(), id = sel->made;
            const std::string name = Utf8(sel->name);
            UiDriver ui;
            ui.answerMessageBox(IDYES);
            PressKey(VK_DELETE, false);
            model.objects.erase(std::find_if(model.objects.begin(), model.objects.end(),
                                             [id](const ModelObject &o) { return o.made == id; }));
            expected = -2 - row;
            return "delete " + name;
        }
        default: {  // another filter; the list starts at its first row
            const wchar_t *filters[] = {kFilterAll, kFilterNone, L"B\u00fcro", L"Haus-Bank"};
            const wchar_t *f =
                filters[std::uniform_int_distribution<size_t>(0, std::size(filters) - 1)(random)];
            ChooseFilter(f);
            PumpShellFor(20);
            const bool changed = model.filter != f;
            model.filter = f;
            // A new filter selects the first row; the same one leaves the selection.
            if (changed) expected = -2;
            return "filter " + Utf8(f);
        }
        }
    }

    void Check(const std::string &what) {
        std::vector<const ModelObject *> rows = model.rows();
        std::vector<std::wstring> want, have;
        for (const ModelObject *o : rows) want.push_back(o->name);
        for (int i = 0; i < Rows(); ++i) have.push_back(Row(i));
        ASSERT_EQ(have, want) << what;
        int wantRow;
        if (expected >= 0) {
            wantRow = model.rowOf(expected);
        } else if (expected <= -2) {
            // By place: the row where the deleted one was, the last when it was last.
            const int place = -2 - expected;
            wantRow = rows.empty() ? -1 : std::min(place, static_cast<int>(rows.size()) - 1);
        } else {
            return;  // nothing written: the selection is whatever it was
        }
        ASSERT_EQ(Selection(), wantRow) << what;
        if (wantRow >= 0) {
            ASSERT_STREQ(CurrentObject.field1, rows[static_cast<size_t>(wantRow)]->name.c_str())
                << what << ": the detail area shows another object";
        }
    }
};

TEST_F(SelectionModelTest, RowsAndSelectionFollowAModelThroughRandomSteps) {
    for (unsigned seed : {11u, 23u, 37u, 41u, 59u, 73u}) {
        random.seed(seed);
        model = ListModel();
        clipboardFull = false;
        if (OpenClipboard(nullptr)) {
            EmptyClipboard();
            CloseClipboard();
        }
        // Every category once, so that the dialog's category combo offers them all.
        for (const wchar_t *c : kCategories) model.add(anyName(), c);
        for (int i = 0; i < 3; ++i) model.add(anyName(), anyCategory());
        std::vector<TestObject> objects;
        for (const ModelObject &o : model.objects)
            objects.push_back({o.name.c_str(), o.category.c_str(), L"2", L""});
        Prepare(objects);
        Start();
        for (int n = 0; n < 30; ++n) {
            expected = -1;
            const std::string what =
                "seed " + std::to_string(seed) + ", step " + std::to_string(n + 1) + ": " + Step(n);
            if (HasFatalFailure()) FAIL() << what;
            Check(what);
            if (HasFatalFailure()) return;
        }
        ResetShell();
        ResetGlobalStores();
        ClearSettingsKey();
        NewVolume();
    }
}

}  // namespace
