// A progress bar: background, and a fill image over the part given by the
// value within [min, max].
#pragma once

#include "ui/ui_label.h"

namespace DuiLib {

class CProgressUI : public CLabelUI {
 public:
  CProgressUI() = default;

  LPCTSTR GetClass() const override;
  LPVOID GetInterface(LPCTSTR pstrName) override;
  void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
  void PaintStatusImage(HDC hDC) override;

  bool IsHorizontal() const { return m_bHorizontal; }
  void SetHorizontal(bool bHorizontal = true) {
    m_bHorizontal = bHorizontal;
    Invalidate();
  }
  int GetMinValue() const { return m_nMin; }
  void SetMinValue(int nMin);
  int GetMaxValue() const { return m_nMax; }
  void SetMaxValue(int nMax);
  int GetValue() const { return m_nValue; }
  // Kept within [min, max].
  void SetValue(int nValue);
  CDuiString GetForeImage() const { return m_sForeImage; }
  void SetForeImage(LPCTSTR v) {
    m_sForeImage = v;
    Invalidate();
  }
  // The filled part of the bar for the current value.
  RECT GetFillRect() const;

 private:
  bool m_bHorizontal = true;
  int m_nMin = 0;
  int m_nMax = 100;
  int m_nValue = 0;
  CDuiString m_sForeImage;
};

}  // namespace DuiLib
