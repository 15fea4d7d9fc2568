#include "platform/Profile.h"

#include <algorithm>
#include <cerrno>
#include <unordered_map>

#include "platform/FileOps.h"
#include "platform/Files.h"
#include "platform/FilesDetail.h"

namespace vantor::platform {

namespace {

constexpr std::string_view kBlanks = " \t\v\f\r";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view s) {
    auto first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    auto last = s.find_last_not_of(kBlanks);
    return s.substr(first, last - first + 1);
}

// Section name of a "[name]" line, or nullopt for any other line.
std::optional<std::string_view> SectionOf(std::string_view line) {
    auto t = Trim(line);
    if (t.empty() || t.front() != '[') return std::nullopt;
    auto close = t.rfind(']');
    if (close == std::string_view::npos || close == 0) return std::nullopt;
    return Trim(t.substr(1, close - 1));
}

// Position of the '=' of a "key=value" line; comments and headers have none.
std::optional<std::size_t> EqualsOf(std::string_view line) {
    auto first = line.find_first_not_of(kBlanks);
    if (first == std::string_view::npos || line[first] == ';' || line[first] == '[') return std::nullopt;
    auto eq = line.find('=', first);
    if (eq == std::string_view::npos) return std::nullopt;
    return eq;
}

bool IsQuoted(std::string_view v) {
    return v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front();
}

std::string_view DecodeValue(std::string_view raw) {
    auto v = Trim(raw);
    if (IsQuoted(v)) v = v.substr(1, v.size() - 2);
    return v;
}

// Reading strips blanks and one pair of matching quotes; a value that would
// lose either is quoted so that it reads back as written.
std::string EncodeValue(std::string_view value) {
    bool padded = !value.empty() && (kBlanks.find(value.front()) != std::string_view::npos ||
                                     kBlanks.find(value.back()) != std::string_view::npos);
    if (padded || IsQuoted(value)) return "\"" + std::string(value) + "\"";
    return std::string(value);
}

bool HasLineBreakOrNul(std::string_view s) { return s.find_first_of(std::string_view("\r\n\0", 3)) != s.npos; }

bool IsStorableName(std::string_view name) {
    return !name.empty() && !HasLineBreakOrNul(name) && Trim(name).size() == name.size();
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// A settings file is replaced through a working file in its own folder so
// that a failure half-way never leaves it truncated.
bool ReplaceFile(const std::string& path, const std::string& text) {
    if (ShouldFail(EFileOp::Write, path)) {
        SetLastError(EIO);
        return false;
    }
    // Through a link the file it points to is replaced and the link kept.
    const std::string target = ResolveLinks(path);
    const CPathProbe probe = ProbePath(target);
    if (!probe.m_known) return false;
    // A read-only file stays as it is, as it would for the Windows calls,
    // even for a user who could override the permission.
    if (probe.Exists() && (probe.m_kind != EFileKind::Regular || !WritePermitted(target, probe.m_mode))) {
        SetLastError(probe.m_kind == EFileKind::Regular ? EACCES : EINVAL);
        return false;
    }
    // Whatever is not lines of text (a plugin named by mistake) is no
    // settings file to replace.
    if (std::string before; probe.Exists()) {
        if (!ReadWholeFile(target, before)) return false;
        if (!IsTextLines(before)) {
            detail::SetErrorWithText(EINVAL, "Not a settings file: it holds bytes that are not text");
            return false;
        }
    }
    const std::string folder = FolderOf(target);
    // Working files a killed run left here go first.
    RemoveStaleWorkFiles(folder);
    CFile work;
    if (!work.CreateUnique(folder, probe.Exists() ? probe.m_mode : 0644)) return false;
    // A new file is not put over one that appeared meanwhile.
    if (!work.Write(text) || !work.Sync() || !work.Close() || !RenameFile(work.Path(), target, probe.Exists())) {
        work.Discard();
        return false;
    }
    return true;
}

}  // namespace

bool IsTextLines(std::string_view bytes) {
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\v' && c != '\f') return false;
    }
    return true;
}

CProfile::ELoad CProfile::Load(const std::string& path) {
    Parse({});
    m_loadedPath.clear();
    auto resolved = ResolvePath(path);
    if (!resolved) return ELoad::Missing;
    std::string data;
    if (!ReadWholeFile(*resolved, data)) return ELoad::Failed;
    Parse(data);
    m_loadedPath = *resolved;
    return IsTextLines(data) ? ELoad::Read : ELoad::Failed;
}

bool CProfile::Save(const std::string& path) const {
    auto resolved = ResolvePath(path);
    return ReplaceFile(resolved ? *resolved : path, Text());
}

void CProfile::Parse(std::string_view text) {
    m_lines.clear();
    m_changed = false;
    m_eol = "\r\n";
    bool eolSeen = false;
    std::size_t start = 0;
    while (start < text.size()) {
        auto nl = text.find('\n', start);
        if (nl == std::string_view::npos) {
            m_lines.push_back({std::string(text.substr(start)), ""});
            break;
        }
        bool crlf = nl > start && text[nl - 1] == '\r';
        std::size_t end = crlf ? nl - 1 : nl;
        m_lines.push_back({std::string(text.substr(start, end - start)), crlf ? "\r\n" : "\n"});
        if (!eolSeen) {
            m_eol = m_lines.back().m_eol;
            eolSeen = true;
        }
        start = nl + 1;
    }
    // An editor's byte-order mark must not hide the first section header.
    m_bomLine = !m_lines.empty() && m_lines.front().m_text.starts_with(kUtf8Bom);
}

std::string CProfile::Text() const {
    std::string out;
    for (const auto& line : m_lines) {
        out += line.m_text;
        out += line.m_eol;
    }
    return out;
}

std::string_view CProfile::Content(std::size_t i) const {
    std::string_view text = m_lines[i].m_text;
    if (i == 0 && m_bomLine) text.remove_prefix(kUtf8Bom.size());
    return text;
}

std::optional<CProfile::CRange> CProfile::FindSection(std::string_view section) const {
    std::optional<CRange> found;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        auto name = SectionOf(Content(i));
        if (!name) continue;
        if (found) {
            found->m_end = i;
            return found;
        }
        if (EqualsNoCase(*name, section)) found = CRange{i, m_lines.size()};
    }
    return found;
}

std::optional<std::size_t> CProfile::FindKey(const CRange& range, std::string_view key) const {
    for (std::size_t i = range.m_header + 1; i < range.m_end; ++i) {
        auto text = Content(i);
        auto eq = EqualsOf(text);
        if (eq && EqualsNoCase(Trim(text.substr(0, *eq)), key)) return i;
    }
    return std::nullopt;
}

bool CProfile::HasSection(std::string_view section) const { return FindSection(section).has_value(); }

std::optional<std::string> CProfile::Get(std::string_view section, std::string_view key) const {
    auto range = FindSection(section);
    if (!range) return std::nullopt;
    auto at = FindKey(*range, key);
    if (!at) return std::nullopt;
    auto text = Content(*at);
    return std::string(DecodeValue(text.substr(*EqualsOf(text) + 1)));
}

std::string CProfile::Get(std::string_view section, std::string_view key, std::string_view fallback) const {
    auto value = Get(section, key);
    return value ? *value : std::string(fallback);
}

void CProfile::InsertLine(std::size_t at, std::string text) {
    if (at > 0 && m_lines[at - 1].m_eol.empty()) m_lines[at - 1].m_eol = m_eol;
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at), CLine{std::move(text), m_eol});
}

bool CProfile::Set(std::string_view section, std::string_view key, std::string_view value) {
    if (!IsStorableName(section) || section.find(']') != section.npos || !IsStorableName(key) ||
        key.find('=') != key.npos || key.front() == '[' || key.front() == ';' || HasLineBreakOrNul(value))
        return false;
    std::string encoded = EncodeValue(value);
    auto range = FindSection(section);
    if (!range) {
        if (!m_lines.empty() && !Trim(Content(m_lines.size() - 1)).empty())
            InsertLine(m_lines.size(), std::string());
        InsertLine(m_lines.size(), "[" + std::string(section) + "]");
        InsertLine(m_lines.size(), std::string(key) + "=" + encoded);
        m_changed = true;
        return true;
    }
    if (auto at = FindKey(*range, key)) {
        auto text = Content(*at);
        auto eq = *EqualsOf(text);
        if (DecodeValue(text.substr(eq + 1)) == value) return true;
        // Keep the key's spelling and the spacing around '='.
        auto valueStart = text.find_first_not_of(kBlanks, eq + 1);
        if (valueStart == std::string_view::npos) valueStart = text.size();
        std::size_t prefix = valueStart + (m_lines[*at].m_text.size() - text.size());
        m_lines[*at].m_text.resize(prefix);
        m_lines[*at].m_text += encoded;
        m_changed = true;
        return true;
    }
    // A new key goes after the section's last key, so comments and blank
    // lines that lead into the next section stay with it.
    std::size_t after = range->m_header;
    std::size_t lastText = range->m_header;
    for (std::size_t i = range->m_header + 1; i < range->m_end; ++i) {
        if (EqualsOf(Content(i))) after = i;
        if (!Trim(Content(i)).empty()) lastText = i;
    }
    if (after == range->m_header) after = lastText;
    InsertLine(after + 1, std::string(key) + "=" + encoded);
    m_changed = true;
    return true;
}

std::optional<std::vector<std::uint8_t>> CProfile::GetStruct(std::string_view section, std::string_view key,
                                                            std::size_t size) const {
    auto value = Get(section, key);
    if (!value) return std::nullopt;
    return DecodeStruct(*value, size);
}

bool CProfile::SetStruct(std::string_view section, std::string_view key, std::span<const std::uint8_t> bytes) {
    return Set(section, key, EncodeStruct(bytes));
}

std::vector<std::string> CProfile::GetNumbered(std::string_view section, std::string_view prefix) const {
    std::vector<std::string> values;
    auto range = FindSection(section);
    if (!range) return values;
    // One pass over the section: a load order of many thousand plugins must
    // not be searched again for every number. As Get, the first line of a key
    // counts, and only the number as written without leading zeros names it.
    std::unordered_map<std::size_t, std::size_t> lineOf;
    for (std::size_t i = range->m_header + 1; i < range->m_end; ++i) {
        auto text = Content(i);
        auto eq = EqualsOf(text);
        if (!eq) continue;
        auto key = Trim(text.substr(0, *eq));
        if (key.size() <= prefix.size() || !EqualsNoCase(key.substr(0, prefix.size()), prefix)) continue;
        auto digits = key.substr(prefix.size());
        if (digits.size() > 9 || (digits.size() > 1 && digits.front() == '0')) continue;
        std::size_t n = 0;
        bool number = true;
        for (char c : digits) {
            number = number && c >= '0' && c <= '9';
            n = n * 10 + std::size_t(c - '0');
        }
        if (number) lineOf.try_emplace(n, i);
    }
    for (std::size_t n = 0;; ++n) {
        auto at = lineOf.find(n);
        if (at == lineOf.end()) break;
        auto text = Content(at->second);
        auto value = DecodeValue(text.substr(*EqualsOf(text) + 1));
        if (value.empty()) break;
        values.emplace_back(value);
    }
    return values;
}

std::string EncodeStruct(std::span<const std::uint8_t> bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2 + 2);
    unsigned sum = 0;
    auto put = [&](std::uint8_t b) {
        out += kHex[b >> 4];
        out += kHex[b & 15];
    };
    for (auto b : bytes) {
        put(b);
        sum += b;
    }
    put(static_cast<std::uint8_t>(sum & 0xFF));
    return out;
}

std::optional<std::vector<std::uint8_t>> DecodeStruct(std::string_view text, std::size_t size) {
    if (text.size() != size * 2 + 2) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(size + 1);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        int hi = HexDigit(text[i]);
        int lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    unsigned sum = 0;
    for (std::size_t i = 0; i < size; ++i) sum += bytes[i];
    if ((sum & 0xFF) != bytes.back()) return std::nullopt;
    bytes.pop_back();
    return bytes;
}

std::string ReadProfileString(const std::string& path, std::string_view section, std::string_view key,
                              std::string_view fallback) {
    CProfile profile;
    profile.Load(path);
    return profile.Get(section, key, fallback);
}

bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value) {
    CProfile profile;
    // Never replace a file whose content we could not see.
    if (profile.Load(path) == CProfile::ELoad::Failed) return false;
    if (!profile.Set(section, key, value)) return false;
    return !profile.Changed() || profile.Save(path);
}

std::optional<std::vector<std::uint8_t>> ReadProfileStruct(const std::string& path, std::string_view section,
                                                          std::string_view key, std::size_t size) {
    CProfile profile;
    profile.Load(path);
    return profile.GetStruct(section, key, size);
}

bool WriteProfileStruct(const std::string& path, std::string_view section, std::string_view key,
                        std::span<const std::uint8_t> bytes) {
    return WriteProfileString(path, section, key, EncodeStruct(bytes));
}

std::vector<std::string> ReadNumberedKeys(const std::string& path, std::string_view section,
                                          std::string_view prefix) {
    CProfile profile;
    profile.Load(path);
    return profile.GetNumbered(section, prefix);
}

}  // namespace vantor::platform
