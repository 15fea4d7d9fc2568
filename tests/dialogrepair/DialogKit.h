#pragma once
// Topic and response records with exact id bytes, and a strict reader of the written repair plugin.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "dialogrepair/DialogMerge.h"
#include "fixtures/PluginBuilder.h"
#include "format/Entry.h"
#include "format/LittleEndian.h"
#include "format/SubRecord.h"
#include "platform/FileOps.h"
#include "platform/Files.h"

namespace vantor::fixtures {

using le::U32;

// An id as the game writes it: the text and one zero byte.
inline std::string Id(const std::string& text) { return text + std::string(1, '\0'); }

// An INFO record's subrecords; ids are taken as raw payload bytes.
inline std::vector<CSub> InfoSubs(const std::string& inam, const std::string& pnam, const std::string& nnam,
                                  const std::string& text, bool deleted = false) {
    std::vector<CSub> subs{Sub("INAM", inam), Sub("PNAM", pnam), Sub("NNAM", nnam), Sub("DATA", std::string(12, '\0')),
                           Sub("NAME", text)};
    if (deleted) subs.push_back(Dele());
    return subs;
}
// A DIAL record's subrecords: NAME (topic and zero byte) and a 1-byte DATA.
inline std::vector<CSub> DialSubs(const std::string& topic, char type = 0, bool deleted = false) {
    std::vector<CSub> subs{Name(topic), Sub("DATA", std::string(1, type))};
    if (deleted) subs.push_back(Dele());
    return subs;
}

// A response of a plugin: INAM text, PNAM text, NNAM text, response text.
struct CResp {
    std::string m_id, m_prev, m_next, m_text;
    bool m_deleted = false;
};
// Adds a DIAL and its responses.
inline CPluginBuilder& AddTopic(CPluginBuilder& b, const std::string& topic, const std::vector<CResp>& responses) {
    b.Record("DIAL", DialSubs(topic));
    for (const CResp& r : responses)
        b.Record("INFO", InfoSubs(Id(r.m_id), Id(r.m_prev), Id(r.m_next), r.m_text, r.m_deleted));
    return b;
}

// The payload of the NAME subrecord among a response's bytes after NNAM.
inline std::string TextOf(std::string_view rest) {
    CSubRecords subs;
    SplitSubRecords(rest, subs);
    for (const CSubRecord& s : subs)
        if (s.m_tag == "NAME") return s.m_payload;
    return {};
}

// Each response once, each PNAM the previous INAM and each NNAM the next, byte for byte; a zero byte at the ends.
inline ::testing::AssertionResult ChainConsistent(const std::vector<CInfoRecord>& c) {
    std::set<std::string> ids;
    for (std::size_t k = 0; k < c.size(); ++k)
        if (!ids.insert(c[k].m_inam).second || c[k].m_pnam != (k ? c[k - 1].m_inam : Id("")) ||
            c[k].m_nnam != (k + 1 < c.size() ? c[k + 1].m_inam : Id("")))
            return ::testing::AssertionFailure() << "link or copy of response " << k << ", " << UpToNul(c[k].m_inam);
    return ::testing::AssertionSuccess();
}

struct CBackTopic {
    std::string m_name, m_rest;  // NAME payload as written, and the bytes after it
    std::vector<CInfoRecord> m_infos;
};
struct CRepairBack {
    bool m_ok = false;
    std::string m_header;  // the whole TES3 record
    std::size_t m_records = 0;  // records after the header
    std::vector<CBackTopic> m_topics;
    // Each topic's chain as "id=text id=text ...", checked for consistent links.
    std::map<std::string, std::string> Chains() const {
        std::map<std::string, std::string> out;
        for (const auto& t : m_topics) {
            EXPECT_TRUE(ChainConsistent(t.m_infos)) << UpToNul(t.m_name);
            std::string& s = out[std::string(UpToNul(t.m_name))];
            for (const auto& i : t.m_infos)
                s += (s.empty() ? "" : " ") + std::string(UpToNul(i.m_inam)) + "=" + TextOf(i.m_rest);
        }
        return out;
    }
};

// Reads a repair plugin strictly: only topics and responses, records whole and unflagged, lengths exact, count true.
inline CRepairBack ReadRepair(const std::string& path) {
    CRepairBack back;
    std::string bytes;
    if (!platform::ReadWholeFile(path, bytes) || bytes.size() < 362 || bytes.compare(0, 4, "TES3") != 0) return back;
    back.m_header = bytes.substr(0, 362);
    for (std::size_t pos = 16 + U32(bytes, 4); pos < bytes.size(); ++back.m_records) {
        if (bytes.size() - pos < 16 || U32(bytes, pos + 8) != 0 || U32(bytes, pos + 12) != 0) return back;
        const std::string tag = bytes.substr(pos, 4);
        const std::size_t size = U32(bytes, pos + 4);
        if (bytes.size() - pos - 16 < size) return back;
        const std::string data = bytes.substr(pos + 16, size);
        pos += 16 + size;
        CSubRecords s;
        SplitSubRecords(data, s);
        // Rebuild the data from the split to be sure every length was exact.
        if (JoinSubRecords(s) != data) return back;
        if (tag == "DIAL" && !s.empty() && s[0].m_tag == "NAME") {
            back.m_topics.push_back(CBackTopic{s[0].m_payload, data.substr(8 + s[0].m_payload.size()), {}});
        } else if (tag == "INFO" && !back.m_topics.empty() && s.size() >= 3 &&
                   s[0].m_tag + s[1].m_tag + s[2].m_tag == "INAMPNAMNNAM") {
            const std::size_t restAt = 24 + s[0].m_payload.size() + s[1].m_payload.size() + s[2].m_payload.size();
            back.m_topics.back().m_infos.push_back(
                {s[0].m_payload, s[1].m_payload, s[2].m_payload, data.substr(restAt), {}});
        } else {
            return back;
        }
    }
    back.m_ok = U32(bytes, 320) == back.m_records;
    return back;
}

}  // namespace vantor::fixtures
