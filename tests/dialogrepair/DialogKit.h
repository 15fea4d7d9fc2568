#pragma once
// Helpers for the dialogue merge tests: topic and response records with
// exact id bytes, file times, and a reader of the written repair plugin.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fixtures/PluginBuilder.h"
#include "format/LittleEndian.h"
#include "platform/FileOps.h"

namespace vantor::fixtures {

using le::U32;

// An id as the game writes it: the text and one zero byte.
inline std::string Id(const std::string& text) { return text + std::string(1, '\0'); }

// An INFO record's subrecords; ids are taken as raw payload bytes.
std::vector<CSub> InfoSubs(const std::string& inam, const std::string& pnam, const std::string& nnam,
                           const std::string& text, bool deleted = false);
// A DIAL record's subrecords: NAME (topic and zero byte) and a 1-byte DATA.
std::vector<CSub> DialSubs(const std::string& topic, char type = 0, bool deleted = false);

// A response of a plugin: INAM text, PNAM text, NNAM text, response text.
struct CResp {
    std::string m_id, m_prev, m_next, m_text;
    bool m_deleted = false;
};
// Adds a DIAL and its responses.
void AddTopic(CPluginBuilder& b, const std::string& topic, const std::vector<CResp>& responses);

// Sets a file's last-write time (seconds since the epoch).
inline void SetFileTime(const std::string& path, std::int64_t seconds) {
    ASSERT_TRUE(platform::SetFileTimes(path, {seconds, 0, seconds, 0})) << path;
}

struct CBackInfo {
    std::string m_inam, m_pnam, m_nnam, m_rest;
    std::string Text() const;  // payload of the NAME subrecord in the rest
};
struct CBackTopic {
    std::string m_name;  // NAME payload as written
    std::string m_rest;
    std::vector<CBackInfo> m_infos;
};
struct CRepairBack {
    bool m_ok = false;
    std::string m_header;  // the whole TES3 record
    std::uint32_t m_recordCount = 0;
    std::uint64_t m_masterSize = 0;
    std::size_t m_records = 0;  // records after the header
    std::vector<CBackTopic> m_topics;
    const CBackTopic* Find(const std::string& topicText) const;
};
// Reads a repair plugin strictly: every record must be whole.
CRepairBack ReadRepair(const std::string& path);

// The INAM texts of a chain in order.
std::vector<std::string> ChainIds(const CBackTopic& topic);
// First PNAM and last NNAM a single zero byte, each NNAM the next INAM and
// each PNAM the previous INAM, byte for byte.
::testing::AssertionResult ChainConsistent(const CBackTopic& topic);

}  // namespace vantor::fixtures
