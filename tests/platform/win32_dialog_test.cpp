// The dialog manager on its headless view, with the saver's compiled
// templates (2214: OK, Cancel, a vertical trackbar, an auto check box; 201:
// tabs, auto radio buttons, drop-down lists): the messages a procedure gets
// for each action, the keyboard, the controls' messages and the failures.
#include <gtest/gtest.h>

#include <vector>

#include "platform/win32/dialog_hooks.h"
#include "platform/win32/resources_hooks.h"
#include "platform/win32/windows.h"
#include "resources/resource.h"
#include "tests/support/saver_resources.h"

namespace {

using tessaloom::test::SetDialogDriver;

struct Seen {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    UINT notifyCode;  // WM_NOTIFY
    LRESULT selectionThen;
};
std::vector<Seen> g_seen;
bool g_endOnInit = false;
bool g_handleClose = false;

// Records everything; ends the dialog on OK and Cancel.
INT_PTR RecordingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        if (g_endOnInit) EndDialog(dialog, 7);
        return TRUE;
    }
    if (message == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        g_seen.push_back({message, wParam, 0, header->code,
                          SendMessageW(header->hwndFrom, TCM_GETCURSEL, 0, 0)});
        return TRUE;
    }
    if (message == WM_CLOSE && !g_handleClose) {
        g_seen.push_back({message, wParam, lParam, 0, 0});
        return FALSE;
    }
    if (message != WM_COMMAND && message != WM_VSCROLL && message != WM_HSCROLL && message != WM_CLOSE) return FALSE;
    g_seen.push_back({message, wParam, lParam, 0, 0});
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) EndDialog(dialog, LOWORD(wParam));
    return TRUE;
}

class DialogManager : public ::testing::Test {
protected:
    void SetUp() override {
        tessaloom::test::SetHeadlessDialogs(true);
        INITCOMMONCONTROLSEX init{sizeof init, ICC_TAB_CLASSES | ICC_BAR_CLASSES};
        ASSERT_TRUE(InitCommonControlsEx(&init));
        g_seen.clear();
        g_endOnInit = g_handleClose = false;
    }
    void TearDown() override { SetDialogDriver(nullptr); }

    INT_PTR Run(int templateId, std::function<void(HWND)> act) {
        SetDialogDriver([act](HWND dialog, int) { act(dialog); });
        return DialogBoxParamW(nullptr, MAKEINTRESOURCEW(templateId), nullptr, RecordingProc, 0);
    }

    tessaloom::testing::ScopedExecutableResources table_{tessaloom::testing::SaverResourceEntries()};
};

TEST_F(DialogManager, ClicksSendBnClickedAndAutoButtonsChangeFirst) {
    std::vector<UINT> checks;
    HWND mute = nullptr;
    Run(IDD_DISPLAY_MULTI, [&](HWND dialog) {
        mute = GetDlgItem(dialog, IDC_REVERSE_ORDER);
        EXPECT_EQ(GetParent(mute), dialog);
        EXPECT_EQ(GetDlgCtrlID(mute), IDC_REVERSE_ORDER);
        tessaloom::test::ClickDialogItem(dialog, IDC_REVERSE_ORDER);
        checks.push_back(IsDlgButtonChecked(dialog, IDC_REVERSE_ORDER));
        tessaloom::test::ClickDialogItem(dialog, IDC_REVERSE_ORDER);
        checks.push_back(IsDlgButtonChecked(dialog, IDC_REVERSE_ORDER));
        // Auto radio buttons: one of the group checked at a time.
        tessaloom::test::ClickDialogItem(dialog, IDC_SHOW_SAVER);
        tessaloom::test::ClickDialogItem(dialog, IDC_SHOW_NOTHING);
        checks.push_back(IsDlgButtonChecked(dialog, IDC_SHOW_SAVER));
        checks.push_back(IsDlgButtonChecked(dialog, IDC_SHOW_NOTHING));
        // A disabled control does nothing.
        EXPECT_FALSE(EnableWindow(GetDlgItem(dialog, IDC_SHOW_SAVER), FALSE));
        EXPECT_TRUE(EnableWindow(GetDlgItem(dialog, IDC_SHOW_SAVER), FALSE));
        tessaloom::test::ClickDialogItem(dialog, IDC_SHOW_SAVER);
        checks.push_back(IsDlgButtonChecked(dialog, IDC_SHOW_SAVER));
        tessaloom::test::ClickDialogItem(dialog, IDOK);
    });
    EXPECT_EQ(checks, (std::vector<UINT>{BST_CHECKED, BST_UNCHECKED, BST_UNCHECKED, BST_CHECKED, BST_UNCHECKED}));
    ASSERT_EQ(g_seen.size(), 5u);
    EXPECT_EQ(g_seen[0].wParam, MAKEWPARAM(IDC_REVERSE_ORDER, BN_CLICKED));
    EXPECT_EQ(g_seen[0].lParam, reinterpret_cast<LPARAM>(mute));
    EXPECT_EQ(g_seen[3].wParam, MAKEWPARAM(IDC_SHOW_NOTHING, BN_CLICKED));
    EXPECT_EQ(g_seen[4].wParam, MAKEWPARAM(IDOK, BN_CLICKED));
    EXPECT_FALSE(IsWindow(mute)) << "the controls go with the dialog";
}

TEST_F(DialogManager, KeysCancelPressTheDefaultAndWalkTheTabOrder) {
    struct Case {
        std::vector<std::pair<WPARAM, bool>> keys;  // before the final key
        WPARAM finalKey;
        INT_PTR result;
    };
    // 2214's tab order: OK, Cancel, the trackbar, Mute.  Enter on the
    // trackbar presses the default button; on Cancel it presses Cancel.
    const Case cases[] = {
        {{}, VK_ESCAPE, IDCANCEL},
        {{{VK_TAB, false}, {VK_TAB, false}}, VK_RETURN, IDOK},
        {{{VK_TAB, false}}, VK_RETURN, IDCANCEL},
        {{{VK_TAB, true}, {VK_TAB, true}, {VK_TAB, true}}, VK_SPACE, IDCANCEL},
    };
    for (const Case& c : cases) {
        std::vector<int> focus;
        const INT_PTR result = Run(IDD_SOUND_SETTINGS, [&](HWND dialog) {
            focus.push_back(tessaloom::test::DialogFocusId(dialog));
            for (auto [key, shift] : c.keys) {
                tessaloom::test::PressDialogKey(dialog, key, shift);
                focus.push_back(tessaloom::test::DialogFocusId(dialog));
            }
            tessaloom::test::PressDialogKey(dialog, c.finalKey);
        });
        EXPECT_EQ(result, c.result) << "final key " << c.finalKey;
        EXPECT_EQ(focus[0], IDOK);
        if (c.keys.size() == 2) EXPECT_EQ(focus, (std::vector<int>{IDOK, IDCANCEL, IDC_VOLUME}));
        if (c.keys.size() == 3) EXPECT_EQ(focus, (std::vector<int>{IDOK, IDC_MUTE, IDC_VOLUME, IDCANCEL}));
    }
}

// Alt and a letter, on dialog 200 (its tab order: Help, the check box, the
// mode list, OK, Cancel).  The label "Display &mode ..." gives its letter to
// the mode list after it.
TEST_F(DialogManager, MnemonicsActOnTheMarkedControlAndALabelsOnTheNextTabStop) {
    struct Case {
        char16_t letter;
        bool labelDisabled;
        int focus;           // after the key
        WPARAM command;      // the WM_COMMAND it sent, 0 for none
        UINT hardwareCheck;  // the check box afterwards
    };
    const Case cases[] = {
        {u'm', false, IDC_MODE_LIST, 0, BST_UNCHECKED},
        {u'M', false, IDC_MODE_LIST, 0, BST_UNCHECKED},
        {u'd', false, IDC_DISABLE_HARDWARE, MAKEWPARAM(IDC_DISABLE_HARDWARE, BN_CLICKED), BST_CHECKED},
        {u'h', false, IDC_RENDERING_HELP, MAKEWPARAM(IDC_RENDERING_HELP, BN_CLICKED), BST_UNCHECKED},
        // A disabled label and a letter nothing marks do nothing.
        {u'm', true, IDC_RENDERING_HELP, 0, BST_UNCHECKED},
        {u'q', false, IDC_RENDERING_HELP, 0, BST_UNCHECKED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << static_cast<char>(c.letter) << " label disabled " << c.labelDisabled);
        g_seen.clear();
        int before = 0, after = 0;
        UINT check = 9;
        Run(IDD_DISPLAY_SINGLE, [&](HWND dialog) {
            if (c.labelDisabled) EnableWindow(GetDlgItem(dialog, IDC_MODE_LABEL), FALSE);
            before = tessaloom::test::DialogFocusId(dialog);
            EXPECT_TRUE(tessaloom::test::PressDialogMnemonic(dialog, c.letter));
            after = tessaloom::test::DialogFocusId(dialog);
            check = IsDlgButtonChecked(dialog, IDC_DISABLE_HARDWARE);
            tessaloom::test::PressDialogKey(dialog, VK_ESCAPE);
        });
        EXPECT_EQ(before, IDC_RENDERING_HELP);
        EXPECT_EQ(after, c.focus);
        EXPECT_EQ(check, c.hardwareCheck);
        ASSERT_FALSE(g_seen.empty());
        if (c.command) {
            ASSERT_EQ(g_seen.size(), 2u);
            EXPECT_EQ(g_seen[0].wParam, c.command);
        } else {
            EXPECT_EQ(g_seen.size(), 1u) << "only Esc's IDCANCEL";
        }
    }
}

TEST_F(DialogManager, CloseBoxSendsWmCloseThenIdCancel) {
    EXPECT_EQ(Run(IDD_SOUND_SETTINGS, [](HWND dialog) { tessaloom::test::PressDialogCloseBox(dialog); }), IDCANCEL);
    ASSERT_EQ(g_seen.size(), 2u);
    EXPECT_EQ(g_seen[0].message, WM_CLOSE);
    EXPECT_EQ(g_seen[1].message, static_cast<UINT>(WM_COMMAND));
    EXPECT_EQ(LOWORD(g_seen[1].wParam), IDCANCEL);
}

TEST_F(DialogManager, ComboListKeepsTextsDataAndSelection) {
    Run(IDD_DISPLAY_MULTI, [](HWND dialog) {
        HWND list = GetDlgItem(dialog, IDC_MODE_LIST);
        EXPECT_EQ(SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"first")), 0);
        EXPECT_EQ(SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"second")), 1);
        EXPECT_EQ(SendMessageW(list, CB_SETITEMDATA, 1, -1), TRUE);
        EXPECT_EQ(SendMessageW(list, CB_GETITEMDATA, 1, 0), -1);
        EXPECT_EQ(SendMessageW(list, CB_GETITEMDATA, 5, 0), CB_ERR);
        EXPECT_EQ(SendMessageW(list, CB_GETCURSEL, 0, 0), -1);
        EXPECT_EQ(SendMessageW(list, CB_SETCURSEL, 1, 0), 1);
        // Out of range: CB_ERR, and nothing is selected any more.
        EXPECT_EQ(SendMessageW(list, CB_SETCURSEL, 2, 0), CB_ERR);
        EXPECT_EQ(SendMessageW(list, CB_GETCURSEL, 0, 0), -1);
        WCHAR text[20] = {};
        EXPECT_EQ(SendMessageW(list, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(text)), 6);
        EXPECT_EQ(std::u16string(text), u"second");
        // A person's choice: CBN_SELCHANGE; choosing the same again: nothing.
        tessaloom::test::ChooseDialogComboItem(dialog, IDC_MODE_LIST, 0);
        tessaloom::test::ChooseDialogComboItem(dialog, IDC_MODE_LIST, 0);
        EXPECT_EQ(SendMessageW(list, CB_RESETCONTENT, 0, 0), 0);
        EXPECT_EQ(SendMessageW(list, CB_GETCOUNT, 0, 0), 0);
        tessaloom::test::ClickDialogItem(dialog, IDCANCEL);
    });
    ASSERT_EQ(g_seen.size(), 2u);
    EXPECT_EQ(g_seen[0].wParam, MAKEWPARAM(IDC_MODE_LIST, CBN_SELCHANGE));
}

TEST_F(DialogManager, TabChoiceNotifiesBeforeAndAfterTheSelectionMoves) {
    Run(IDD_DISPLAY_MULTI, [](HWND dialog) {
        HWND tabs = GetDlgItem(dialog, IDC_MONITOR_TABS);
        for (const char16_t* label : {u"A", u"B"}) {
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            item.pszText = const_cast<LPWSTR>(label);
            SendMessageW(tabs, TCM_INSERTITEMW, 9, reinterpret_cast<LPARAM>(&item));
        }
        EXPECT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 2);
        tessaloom::test::ChooseDialogTab(dialog, IDC_MONITOR_TABS, 1);
        EXPECT_EQ(SendMessageW(tabs, TCM_GETCURFOCUS, 0, 0), 1);
        tessaloom::test::ClickDialogItem(dialog, IDOK);
    });
    ASSERT_EQ(g_seen.size(), 3u);
    EXPECT_EQ(g_seen[0].notifyCode, TCN_SELCHANGING);
    EXPECT_EQ(g_seen[0].selectionThen, 0);
    EXPECT_EQ(g_seen[1].notifyCode, TCN_SELCHANGE);
    EXPECT_EQ(g_seen[1].selectionThen, 1);
    EXPECT_EQ(g_seen[1].wParam, static_cast<WPARAM>(IDC_MONITOR_TABS));
}

TEST_F(DialogManager, VerticalTrackbarClampsAndScrollsVertically) {
    HWND bar = nullptr;
    Run(IDD_SOUND_SETTINGS, [&](HWND dialog) {
        bar = GetDlgItem(dialog, IDC_VOLUME);
        SendMessageW(bar, TBM_SETRANGE, TRUE, MAKELPARAM(0, 100));
        SendMessageW(bar, TBM_SETPOS, TRUE, 250);
        EXPECT_EQ(SendMessageW(bar, TBM_GETPOS, 0, 0), 100);
        tessaloom::test::MoveDialogTrackbar(dialog, IDC_VOLUME, 30);
        EXPECT_EQ(SendMessageW(bar, TBM_GETPOS, 0, 0), 30);
        tessaloom::test::ClickDialogItem(dialog, IDOK);
    });
    ASSERT_EQ(g_seen.size(), 3u);
    EXPECT_EQ(g_seen[0].message, static_cast<UINT>(WM_VSCROLL));
    EXPECT_EQ(g_seen[0].wParam, MAKEWPARAM(TB_THUMBPOSITION, 30));
    EXPECT_EQ(g_seen[0].lParam, reinterpret_cast<LPARAM>(bar));
    EXPECT_EQ(g_seen[1].wParam, MAKEWPARAM(TB_ENDTRACK, 0));
}

TEST_F(DialogManager, FailuresAndEndingEarly) {
    // A common control class never registered: no dialog, as on Windows.
    tessaloom::test::ResetCommonControls();
    EXPECT_EQ(Run(IDD_SOUND_SETTINGS, [](HWND) { ADD_FAILURE() << "shown"; }), -1);
    INITCOMMONCONTROLSEX wrongSize{sizeof(INITCOMMONCONTROLSEX) + 4, ICC_BAR_CLASSES};
    EXPECT_FALSE(InitCommonControlsEx(&wrongSize));
    EXPECT_EQ(Run(IDD_SOUND_SETTINGS, [](HWND) { ADD_FAILURE() << "shown"; }), -1);
    // Dialog 106 has no common control.
    EXPECT_EQ(Run(IDD_SETTINGS, [](HWND dialog) { tessaloom::test::ClickDialogItem(dialog, IDOK); }), IDOK);
    EXPECT_EQ(Run(4711, [](HWND) { ADD_FAILURE() << "shown"; }), -1);
    // EndDialog in WM_INITDIALOG: the dialog is never shown.
    g_endOnInit = true;
    EXPECT_EQ(Run(IDD_SETTINGS, [](HWND) { ADD_FAILURE() << "shown"; }), 7);
    // A headless dialog left open is cancelled.
    g_endOnInit = false;
    EXPECT_EQ(Run(IDD_SETTINGS, [](HWND) {}), IDCANCEL);
}

}  // namespace
