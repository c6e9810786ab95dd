// The skinned push button of the contract dialog: owns its five faces, loaded
// from the program's bitmap resources, and sizes itself to them.
#pragma once
#include "controls/LongButton.h"

class CBitmapIna : public CBitmap {};

class CDesignButton : public CBufferedButtonEx {
    DECLARE_DYNAMIC(CDesignButton)
public:
    CDesignButton();
    ~CDesignButton() override;

    // index 0 mask .. 4 disabled; 0 or the error of the load.
    DWORD SetImage(int index, UINT bitmapId);
    // Owner-drawn from the faces once all five are loaded; keepWidth keeps the
    // width and takes the face's height, else the face's size.
    void ApplyImages(BOOL keepWidth);
    void DrawItem(LPDRAWITEMSTRUCT item) override;

    DWORD m_checked;
    CImageList* m_pIconList;
    int m_iconIndex;

protected:
    afx_msg LRESULT OnGetCheck(WPARAM, LPARAM);
    DECLARE_MESSAGE_MAP()

private:
    CBitmapIna m_images[5];
};
