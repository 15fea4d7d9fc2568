#pragma once
// One record of one plugin or master: its key, its remaining bytes kept
// opaque, and where it lay in the file as read.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vantor {

// Bytes an entry is known by: its ID, and a response's topic and place in
// its chain. The reader points them at text its file keeps as long as it
// lives, so reading makes no allocation a record; set from a string they
// hold their own copy. The text up to the first NUL is found once.
class CEntryText {
public:
    CEntryText() = default;
    CEntryText(std::string_view bytes) { Assign(bytes); }
    CEntryText(const char* bytes) { Assign(bytes); }
    CEntryText(const CEntryText& other) : m_data(other.m_data), m_size(other.m_size), m_textSize(other.m_textSize) {
        if (other.m_own) Assign(other.View());
    }
    CEntryText(CEntryText&& other) noexcept
        : m_data(other.m_data), m_size(other.m_size), m_own(other.m_own), m_textSize(other.m_textSize) {
        other.m_own = 0;
        other.Borrow({}, 0);
    }
    ~CEntryText() { Release(); }
    CEntryText& operator=(const CEntryText& other) {
        if (this == &other) return *this;
        if (other.m_own)
            Assign(other.View());
        else
            Borrow(other.View(), other.m_textSize);
        return *this;
    }
    CEntryText& operator=(CEntryText&& other) noexcept {
        if (this == &other) return *this;
        Borrow(other.View(), other.m_textSize);
        m_own = other.m_own;
        other.m_own = 0;
        other.Borrow({}, 0);
        return *this;
    }
    CEntryText& operator=(std::string_view bytes) {
        Assign(bytes);
        return *this;
    }
    CEntryText& operator=(const char* bytes) { return *this = std::string_view(bytes); }

    // `kept` outlives this text and every copy of it.
    static CEntryText Kept(std::string_view kept) {
        CEntryText text;
        text.Borrow(kept, TextSize(kept));
        return text;
    }

    std::string_view View() const { return {m_data, m_size}; }
    operator std::string_view() const { return View(); }
    // Up to the first NUL.
    std::string_view Text() const { return {m_data, m_textSize}; }
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }

    friend bool operator==(const CEntryText& a, const CEntryText& b) { return a.View() == b.View(); }
    friend bool operator==(const CEntryText& a, std::string_view b) { return a.View() == b; }
    friend bool operator==(const CEntryText& a, const char* b) { return a.View() == std::string_view(b); }

private:
    // A text is at most a record long, and a record's length has 32 bits.
    static constexpr std::size_t kLongest = 0x7FFFFFFF;
    static std::uint32_t TextSize(std::string_view bytes) {
        const auto nul = bytes.find('\0');
        return std::uint32_t(nul == std::string_view::npos ? bytes.size() : nul);
    }
    // Points at `bytes`, releasing what it held of its own first.
    void Borrow(std::string_view bytes, std::uint32_t textSize) {
        Release();
        if (bytes.size() > kLongest) throw std::length_error("text longer than a record");
        m_data = bytes.empty() ? "" : bytes.data();
        m_size = std::uint32_t(bytes.size());
        m_textSize = textSize;
    }
    void Assign(std::string_view bytes) {
        if (bytes.size() > kLongest) throw std::length_error("text longer than a record");
        char* own = nullptr;
        if (!bytes.empty()) {
            own = new char[bytes.size()];
            std::copy(bytes.begin(), bytes.end(), own);
        }
        Borrow({own ? own : "", bytes.size()}, TextSize(bytes));
        m_own = own ? 1 : 0;
    }
    // GCC cannot follow m_own through the copies of a text and takes a
    // borrowed text's bytes for ones deleted here; only own bytes are.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wfree-nonheap-object"
#endif
    void Release() {
        if (m_own) delete[] m_data;
        m_own = 0;
    }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

    const char* m_data = "";
    std::uint32_t m_size : 31 = 0;
    std::uint32_t m_own : 1 = 0;  // m_data is this text's own copy
    std::uint32_t m_textSize = 0;
};

// A response's topic and its place in its chain, kept apart from its entry
// since most entries are no response.
struct CResponsePlace {
    CEntryText m_topic;  // the topic's ID text
    // The PNAM and NNAM payloads. They are ID subrecords, so not part of
    // the data.
    CEntryText m_prevInfo, m_nextInfo;
};

class CEntry {
public:
    CEntry() = default;
    CEntry(const CEntry&) = default;
    CEntry& operator=(const CEntry&) = default;

    // The ID as stored (it may continue past a NUL: a script ID holds the
    // whole script header) and as compared and shown: up to the first NUL.
    CEntryText m_id;
    std::string_view IdText() const { return m_id.Text(); }

    // Data: the record's remaining subrecords exactly as in the file. It is
    // usually a slice of the file buffer shared by every entry of the file,
    // so reading a master costs no copy of its records.
    std::string_view Data() const { return {m_data, m_dataLength}; }
    std::size_t DataLength() const { return m_dataLength; }
    void SetData(std::string bytes);
    // `data` lies in what `owner` keeps alive. `print` is PrintOf those
    // bytes, taken where the caller has them at hand.
    void SetSharedData(std::shared_ptr<const void> owner, std::string_view data, std::uint32_t print);
    // A fingerprint of the data: equal data has equal prints, so copies
    // whose prints differ are told apart without reading their bytes,
    // which may lie in pages of a mapped file not touched yet.
    static std::uint32_t PrintOf(std::string_view data);
    std::uint32_t DataPrint() const { return m_dataPrint; }
    bool SameData(const CEntry& other) const {
        return m_dataPrint == other.m_dataPrint && Data() == other.Data();
    }
    void ClearData();
    // Gives the entry its own copy of its data, releasing the shared buffer.
    void OwnData();
    bool SharesBuffer(const void* owner) const { return m_owner.get() == owner; }

    // A response's topic and place in its chain (none for other entries).
    // The place lives as long as the file the entry was read from, as the
    // ID's text does.
    void SetPlace(const CResponsePlace* place) { m_place = place; }
    // The response's topic, null for other entries.
    const CEntryText* Topic() const { return m_place ? &m_place->m_topic : nullptr; }
    // The PNAM and NNAM payloads; empty for other entries.
    const CEntryText& PrevInfo() const { return m_place ? m_place->m_prevInfo : NoText(); }
    const CEntryText& NextInfo() const { return m_place ? m_place->m_nextInfo : NoText(); }
    // Same data, and for a response also the same place in its chain: a
    // plugin that only relinks a master's response has changed it.
    bool SameRecordAs(const CEntry& other) const {
        return SameData(other) && PrevInfo() == other.PrevInfo() && NextInfo() == other.NextInfo();
    }
    // Where the record lay in the file as read, its length then (header
    // included), and how much its length on disk has changed since.
    std::int64_t m_offset = 0;
    std::int64_t m_size = 0;
    std::int64_t m_sizeChange = 0;
    std::int32_t m_deleted = 0;
    // The record header's flags (persistent, blocked, ...) as read.
    std::uint32_t m_flags = 0;
    // The record had data that the reader dropped because its extraction
    // option was off: the data held here is not the record's.
    bool m_dataDropped = false;

private:
    // The owner holds this entry's data and nothing else. (Beside the flags
    // above, as the length is, so that an entry, one of millions, has no
    // gaps.)
    bool m_ownsData = false;
    // A record's length has 32 bits.
    std::uint32_t m_dataLength = 0;
    std::uint32_t m_dataPrint = 0;  // PrintOf(Data()); 0 for none
    std::shared_ptr<const void> m_owner;
    const char* m_data = nullptr;
    const CResponsePlace* m_place = nullptr;

    static const CEntryText& NoText() {
        static const CEntryText none;
        return none;
    }
};

// Text of a byte string up to its first NUL.
inline std::string_view UpToNul(std::string_view bytes) {
    auto nul = bytes.find('\0');
    return nul == std::string_view::npos ? bytes : bytes.substr(0, nul);
}

}  // namespace vantor
