#pragma once
// The object search: the entries of the loaded plugins, or of the masters,
// whose ID contains a text, and with "Look in data" also those whose data or
// record tag contains it; and the find operation that lists them in the
// editor pane.
#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "checks/CheckOperations.h"
#include "checks/PluginChecker.h"

namespace vantor {

class CUserLink;

// The find dialog's choices; the 32-bit flags are nonzero for on.
struct CFindParams {
    bool m_matchCase = false;
    bool m_wholeWord = false;
    bool m_lookInData = false;
    bool m_searchMasters = false;  // "Esm Mode"
    std::string m_text;
};

// A find text prepared for the search's tests. The text counts up to its
// first zero byte, so a window that holds a zero byte never equals it.
class CTextMatcher {
public:
    CTextMatcher(std::string_view text, bool matchCase);
    // Some window of `bytes` as long as the text equals it (folded unless
    // case is matched). An empty text is found in everything.
    bool Occurs(std::string_view bytes) const;
    // `bytes` as a whole equals the text.
    bool Equals(std::string_view bytes) const;
    // The text as compared: folded when case is ignored.
    const std::string& Text() const { return m_text; }

private:
    bool SameRest(const char* at) const;

    std::string m_text;
    bool m_matchCase;
    // The bytes a window may start with: the folded first byte and, for a
    // letter ignoring case, its capital.
    unsigned char m_first = 0;
    unsigned char m_firstCapital = 0;
    bool m_twoFirsts = false;
};

// Searches the engine's plugin list (which holds the loaded master), or its
// master list with searchMasters: one row per matching entry, in
// file, table and entry order. Progress "Searching... N% complete" goes to
// `link` when one is given; a set stop flag ends the search with the rows
// found so far.
CFindings Search(CPluginChecker& engine, CUserLink* link, const std::atomic<std::int32_t>& stop,
                 std::string findText, bool matchCase, bool wholeWord, bool lookInData, bool searchMasters);

struct CFindInputs {
    // Document order: newest extraction batch first, the loaded master last.
    std::vector<CPluginFile*> loadedPlugins;
    // Document order: each master read is inserted at the front.
    std::vector<CPluginFile*> foundMasters;
    CFindParams params;
    const std::atomic<std::int32_t>* stop = nullptr;
    CUserLink* link = nullptr;
    CFileAges* ages = nullptr;  // the files' last-write times when none
};

// Worker operations 5 and 6 (after extraction). Nothing at all happens
// without a loaded plugin, and a stop before the first match shows nothing:
// both give stopped findings with no rows. Otherwise the editor pane's new
// rows (after a stop, those found before it), sorted by tag.
CPaneFindings RunFindOperation(const CFindInputs& inputs);

}  // namespace vantor
