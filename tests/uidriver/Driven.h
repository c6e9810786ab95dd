// A dialog of the program run modally here and driven from a second thread, which closes it when it is done.
#pragma once
#include <functional>
#include <thread>
#include <utility>
#include "afxwin.h"

template <class Dialog>
class CDriven : public Dialog {
public:
    // prepare runs on the dialog's own thread once it is set up; drive on a second thread.
    explicit CDriven(std::function<void(HWND)> drive, std::function<void(HWND)> prepare = nullptr)
        : drive_(std::move(drive)), prepare_(std::move(prepare)) {}
    BOOL OnInitDialog() override {
        const BOOL result = Dialog::OnInitDialog();
        if (prepare_) prepare_(this->m_hWnd);
        driver_ = std::thread([this, h = this->m_hWnd] {
            if (drive_) drive_(h);
            ::PostMessageA(h, WM_COMMAND, IDCANCEL, 0);  // its last act: the join below is short
        });
        return result;
    }
    void OnCancel() override {
        Dialog::OnCancel();
        driver_.join();
    }

private:
    std::function<void(HWND)> drive_, prepare_;
    std::thread driver_;
};
