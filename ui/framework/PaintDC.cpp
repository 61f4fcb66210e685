//===- PaintDC.cpp - CPaintDC: painting between BeginPaint and EndPaint --===//
#include "ui/framework/PaintDC.h"

#include "ui/framework/Wnd.h"

CPaintDC::CPaintDC(CWnd* window) : m_hWnd(window->m_hWnd) { m_hDC = ::BeginPaint(m_hWnd, &m_ps); }

CPaintDC::~CPaintDC() { ::EndPaint(m_hWnd, &m_ps); }
