#include "PaneLayout.h"

namespace vantor {

namespace {
void HideIn(int& splitter, int pane) {
    if (splitter == -1) splitter = pane;
}
void ShowIn(int& splitter, int pane) {
    if (splitter == pane) splitter = -1;
}
}  // namespace

void CPaneLayout::ApplyHideRules() {
    const bool conflict = m_mask & kConflict, warning = m_mask & kWarning, editor = m_mask & kEditor;
    if (!conflict && !warning && !editor) HideIn(m_split.m_s0, 1);
    if (!warning && !editor) HideIn(m_split.m_s1, 1);
    if (!conflict) HideIn(m_split.m_s1, 0);
    if (!warning) HideIn(m_split.m_s2, 0);
    if (!editor) HideIn(m_split.m_s2, 1);
}

void CPaneLayout::Hide(int pane) {
    if (pane >= 1 && pane <= 3)
        m_mask = std::uint8_t(m_mask & ~(1u << (pane - 1)));
    else if (pane == 0)
        m_mask = 0;
    ApplyHideRules();
}

void CPaneLayout::Show(int pane) {
    if (pane == 0) {
        m_mask = kAll;
        m_split = {};
        return;
    }
    if (pane < 1 || pane > 3) return;
    m_mask = std::uint8_t(m_mask | (1u << (pane - 1)));
    const bool conflict = m_mask & kConflict, warning = m_mask & kWarning, editor = m_mask & kEditor;
    if (conflict || warning || editor) ShowIn(m_split.m_s0, 1);
    if (warning || editor) ShowIn(m_split.m_s1, 1);
    if (conflict) ShowIn(m_split.m_s1, 0);
    if (warning) ShowIn(m_split.m_s2, 0);
    if (editor) ShowIn(m_split.m_s2, 1);
    ApplyHideRules();
}

bool CPaneLayout::OnScreen(int pane) const {
    if (m_split.m_s0 == 1) return false;
    switch (pane) {
        case 1: return m_split.m_s1 != 0;
        case 2: return m_split.m_s1 != 1 && m_split.m_s2 != 0;
        case 3: return m_split.m_s1 != 1 && m_split.m_s2 != 1;
        default: return false;
    }
}

}  // namespace vantor
