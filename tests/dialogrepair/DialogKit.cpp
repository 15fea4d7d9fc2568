#include "DialogKit.h"

#include "format/Entry.h"
#include "format/SubRecord.h"
#include "platform/Files.h"

namespace vantor::fixtures {

std::vector<CSub> InfoSubs(const std::string& inam, const std::string& pnam, const std::string& nnam,
                           const std::string& text, bool deleted) {
    std::vector<CSub> subs{Sub("INAM", inam), Sub("PNAM", pnam), Sub("NNAM", nnam), Sub("DATA", std::string(12, '\0')),
                           Sub("NAME", text)};
    if (deleted) subs.push_back(Dele());
    return subs;
}

std::vector<CSub> DialSubs(const std::string& topic, char type, bool deleted) {
    std::vector<CSub> subs{Name(topic), Sub("DATA", std::string(1, type))};
    if (deleted) subs.push_back(Dele());
    return subs;
}

void AddTopic(CPluginBuilder& b, const std::string& topic, const std::vector<CResp>& responses) {
    b.Record("DIAL", DialSubs(topic));
    for (const CResp& r : responses)
        b.Record("INFO", InfoSubs(Id(r.m_id), Id(r.m_prev), Id(r.m_next), r.m_text, r.m_deleted));
}

std::string TextOf(std::string_view rest) {
    CSubRecords subs;
    SplitSubRecords(rest, subs);
    for (const CSubRecord& s : subs)
        if (s.m_tag == "NAME") return s.m_payload;
    return {};
}

CRepairBack ReadRepair(const std::string& path) {
    CRepairBack back;
    std::string bytes;
    if (!platform::ReadWholeFile(path, bytes) || bytes.size() < 362 || bytes.compare(0, 4, "TES3") != 0) return back;
    back.m_header = bytes.substr(0, 362);
    back.m_recordCount = U32(bytes, 320);
    std::size_t pos = 16 + U32(bytes, 4);
    while (pos < bytes.size()) {
        if (bytes.size() - pos < 16) return back;
        const std::string tag = bytes.substr(pos, 4);
        const std::size_t size = U32(bytes, pos + 4);
        if (U32(bytes, pos + 8) != 0 || U32(bytes, pos + 12) != 0) return back;
        if (bytes.size() - pos - 16 < size) return back;
        const std::string data = bytes.substr(pos + 16, size);
        pos += 16 + size;
        ++back.m_records;
        CSubRecords subs;
        SplitSubRecords(data, subs);
        // Rebuild the data from the split to be sure every length was exact.
        if (JoinSubRecords(subs) != data) return back;
        if (tag == "DIAL") {
            if (subs.empty() || subs[0].m_tag != "NAME") return back;
            back.m_topics.push_back(CBackTopic{subs[0].m_payload, data.substr(8 + subs[0].m_payload.size()), {}});
        } else if (tag == "INFO") {
            if (back.m_topics.empty() || subs.size() < 3 || subs[0].m_tag != "INAM" || subs[1].m_tag != "PNAM" ||
                subs[2].m_tag != "NNAM")
                return back;
            std::size_t restAt = 24 + subs[0].m_payload.size() + subs[1].m_payload.size() + subs[2].m_payload.size();
            back.m_topics.back().m_infos.push_back(
                CBackInfo{subs[0].m_payload, subs[1].m_payload, subs[2].m_payload, data.substr(restAt)});
        } else {
            return back;
        }
    }
    back.m_ok = true;
    return back;
}

::testing::AssertionResult ChainConsistent(const CBackTopic& topic) {
    const auto& c = topic.m_infos;
    const std::string empty(1, '\0');
    for (std::size_t k = 0; k < c.size(); ++k)
        if (c[k].m_pnam != (k ? c[k - 1].m_inam : empty) || c[k].m_nnam != (k + 1 < c.size() ? c[k + 1].m_inam : empty))
            return ::testing::AssertionFailure() << "topic " << UpToNul(topic.m_name) << ": links of element " << k;
    return ::testing::AssertionSuccess();
}

std::map<std::string, std::string> Chains(const CRepairBack& back) {
    std::map<std::string, std::string> out;
    for (const auto& t : back.m_topics) {
        EXPECT_TRUE(ChainConsistent(t));
        std::string& s = out[std::string(UpToNul(t.m_name))];
        for (const auto& i : t.m_infos) s += (s.empty() ? "" : " ") + std::string(UpToNul(i.m_inam)) + "=" + TextOf(i.m_rest);
    }
    return out;
}

}  // namespace vantor::fixtures
