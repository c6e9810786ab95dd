int afx_placeholder;
