#pragma once
// Which panes the three splitters hide, decided without a widget. S0 holds
// the tree and the right side; S1 the conflict list above S2; S2 the warning
// list above the editor list. A splitter hides at most one of its two panes,
// so a pane that must go while its neighbour is already hidden stays until
// the splitter around it goes.
#include <cstdint>

namespace vantor {

class CPaneLayout {
public:
    enum EBit : std::uint8_t { kConflict = 1, kWarning = 2, kEditor = 4, kAll = 7 };
    // -1 when the splitter hides nothing, else the hidden pane (0 or 1).
    struct CSplitters {
        int m_s0 = -1, m_s1 = -1, m_s2 = -1;
        bool operator==(const CSplitters&) const = default;
    };

    // pane: 1 conflict, 2 warning, 3 editor, 0 all.
    void Hide(int pane);
    void Show(int pane);

    std::uint8_t Mask() const { return m_mask; }
    const CSplitters& Splitters() const { return m_split; }
    bool Visible(int pane) const { return pane >= 1 && pane <= 3 && (m_mask & (1u << (pane - 1))); }
    // Whether the pane's widget is on screen (its splitters all show it).
    bool OnScreen(int pane) const;

private:
    void ApplyHideRules();

    std::uint8_t m_mask = kAll;
    CSplitters m_split;
};

}  // namespace vantor
